"""A small reader of rig files (.tsl) for the tests, written from docs/rig-format.md alone.

It shares no code with the plug-in's reader or the command-line host's, so a fault in
either cannot pass unseen through both. It reads files as the exporter writes them and
raises ValueError on anything else; it is not a tolerant reader.
"""


def _tokens(text, start=0, end=None):
    """Yields (kind, value) with kind 'word', 'quoted' or 'block'."""
    end = len(text) if end is None else end
    i = start
    while i < end:
        c = text[i]
        if c.isspace():
            i += 1
        elif c == '"':
            close = text.index('"', i + 1, end)
            yield "quoted", text[i + 1:close]
            i = close + 1
        elif c == "{":
            depth, j = 1, i + 1
            while depth:
                if j >= end:
                    raise ValueError("a block is never closed")
                if text[j] == '"':
                    j = text.index('"', j + 1, end)
                elif text[j] == "{":
                    depth += 1
                elif text[j] == "}":
                    depth -= 1
                j += 1
            yield "block", text[i + 1:j - 1]
            i = j
        elif c == "}":
            raise ValueError("a closing brace outside every block")
        else:
            j = i
            while j < end and not text[j].isspace() and text[j] not in '"{}':
                j += 1
            yield "word", text[i:j]
            i = j


def _entries(text):
    """The (key, (kind, value)) pairs of a record's block."""
    tokens = list(_tokens(text))
    if len(tokens) % 2:
        raise ValueError("a key without a value")
    return [(tokens[k][1], tokens[k + 1]) for k in range(0, len(tokens), 2)]


def _numbers(block, kind=float):
    return [kind(value) for k, value in _tokens(block) if k == "word"]


def _set_lists(block, kind):
    tokens = list(_tokens(block))
    lists = []
    for k in range(0, len(tokens), 3):
        word, index, body = tokens[k:k + 3]
        if word != ("word", "set") or int(index[1]) != len(lists) or body[0] != "block":
            raise ValueError("set entries out of order")
        lists.append(_numbers(body[1], kind))
    return lists


def _groups(values, size):
    return [values[i:i + size] for i in range(0, len(values) - size + 1, size)]


def read_rig(path):
    """{'bones': [{'name', 'parent', 'inverse_bind': 4x4 rows}], 'meshes': [...]}"""
    with open(path, "rb") as f:
        text = f.read().decode("latin-1")
    rig = {"bones": [], "meshes": []}
    tokens = list(_tokens(text))
    k = 0
    while k < len(tokens):
        key = tokens[k][1]
        if key in ("version", "numBones", "numMeshes"):
            k += 2
        elif key in ("bone", "mesh"):
            body = tokens[k + 2][1]
            rig[key + "s" if key == "bone" else "meshes"].append(_bone(body) if key == "bone" else _mesh(dict(_entries(body))))
            k += 3
        else:
            raise ValueError("unknown key " + key)
    return rig


def _bone(body):
    """name "N" parent "P" invBaseMatrix and its 16 reals."""
    tokens = list(_tokens(body))
    keys = [t[1] for t in tokens[0:6:2]]
    if keys != ["name", "parent", "invBaseMatrix"] or len(tokens) != 21:
        raise ValueError("a bone record not as the exporter writes it")
    matrix = [float(value) for kind, value in tokens[5:]]
    return {"name": tokens[1][1], "parent": tokens[3][1], "inverse_bind": _groups(matrix, 4)}


def _mesh(fields):
    mesh = {
        "name": fields["name"][1],
        "vertices": _groups(_numbers(fields["vertices"][1]), 3),
        "normals": _groups(_numbers(fields["normals"][1]), 3),
        "uv_sets": [_groups(s, 2) for s in _set_lists(fields["textureCoordinates"][1], float)],
        "materials": [v for k, v in _tokens(fields["materialNames"][1]) if k == "quoted"],
        "counts": _numbers(fields["polygonVertexCounts"][1], int),
        "vertex_indices": _numbers(fields["polygonVertexIndices"][1], int),
        "normal_indices": _numbers(fields["polygonNormalIndices"][1], int),
        "uv_indices": _set_lists(fields["polygonTexCoordIndices"][1], int),
        "material_indices": _numbers(fields["polygonMaterialIndices"][1], int),
        "weight_counts": [],
        "weights": [],
    }
    if "vertexWeightCounts" in fields:
        mesh["weight_counts"] = _numbers(fields["vertexWeightCounts"][1], int)
        pairs = _numbers(fields["weights"][1])
        mesh["weights"] = [(int(b), w) for b, w in _groups(pairs, 2)]
    return mesh


def inverse4(m):
    """Gauss-Jordan with partial pivoting; None when singular."""
    a = [list(map(float, row)) + [1.0 if i == j else 0.0 for j in range(4)] for i, row in enumerate(m)]
    for c in range(4):
        pivot = max(range(c, 4), key=lambda r: abs(a[r][c]))
        if a[pivot][c] == 0:
            return None
        a[c], a[pivot] = a[pivot], a[c]
        scale = a[c][c]
        a[c] = [v / scale for v in a[c]]
        for r in range(4):
            if r != c:
                f = a[r][c]
                a[r] = [x - f * y for x, y in zip(a[r], a[c])]
    return [row[4:] for row in a]
