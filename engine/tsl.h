/*
 * tsl.h - a reader of Tessaline rig files (.tsl) for game engines, and engine helpers.
 *
 * One header, C99, also compiles as C++. No dependency beyond the C library. In exactly
 * one source file write
 *
 *     #define TSL_IMPLEMENTATION
 *     #include "tsl.h"
 *
 * and include it plainly everywhere else.
 *
 * Use:
 *     tsl_rig rig;
 *     if (tsl_parse(bytes, size, NULL, &rig) != TSL_OK) {
 *         printf("line %u: %s\n", rig.error.line, rig.error.message);
 *     } else if (tsl_validate(&rig) == TSL_OK) {
 *         tsl_to_y_up(&rig);        // for a Y-up engine
 *         ...                       // rig.bones, rig.meshes
 *     }
 *     tsl_free(&rig);               // after a failure too
 *
 * What tsl_parse gives is the rig the host's importer builds from the same file: a file
 * it refuses is refused here by the same rules (see docs/rig-format.md, "Damaged files"),
 * and a step the importer leaves out of a mesh (normals whose index list does not fit,
 * a UV set whose indices point past it, weights on a bone outside the bone list, a
 * mesh whose polygons cannot be built) is left out here and listed in rig.warnings.
 * Every index of the model then points inside its list, which tsl_validate checks.
 *
 * Memory: every block comes from options->allocator (malloc and free when null) and
 * tsl_free returns them all. The input is only read; the model keeps no pointer to it.
 */
#ifndef TSL_H
#define TSL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Results. tsl_parse returns one of the file damages or TSL_ERROR_OUT_OF_MEMORY;
 * tsl_validate one of the model faults; the helpers their own. */
typedef enum tsl_result {
    TSL_OK = 0,
    /* file damage (tsl_parse) */
    TSL_ERROR_NUL_BYTE,            /* a zero byte anywhere in the file */
    TSL_ERROR_VERSION,             /* a version other than 1 */
    TSL_ERROR_COUNT_OUT_OF_RANGE,  /* numBones or numMeshes negative or not below 5000 */
    TSL_ERROR_INDEX_OUTSIDE_COUNT, /* a bone or mesh index outside its count */
    TSL_ERROR_BEYOND_32_BITS,      /* an integer list entry that does not fit in 32 bits */
    TSL_ERROR_SET_OUT_OF_ORDER,    /* set entries not set 0, set 1, ... or not below 5000 */
    TSL_ERROR_NOT_A_NUMBER,        /* a token that is not a number where a number belongs */
    TSL_ERROR_NOT_A_BLOCK,         /* a token that is not a block where a block belongs */
    TSL_ERROR_BLOCK_NOT_ALLOWED,   /* a block where a word or quoted string belongs */
    TSL_ERROR_VALUE_MISSING,       /* a key whose value is missing (cut short) */
    TSL_ERROR_ENDS_INSIDE,         /* the file ends inside a block or a quoted string */
    TSL_ERROR_NESTED_TOO_DEEPLY,   /* braces nested deeper than 1000 */
    TSL_ERROR_RECORD_MISSING,      /* fewer bone or mesh blocks than declared */
    TSL_ERROR_NO_MESH_COUNT,       /* bones declared without a mesh count after them */
    TSL_ERROR_OUT_OF_MEMORY,
    TSL_ERROR_INVALID_ARGUMENT,
    /* model faults (tsl_validate) */
    TSL_ERROR_BAD_PARENT,         /* a parent index out of range, the bone itself, or a cycle */
    TSL_ERROR_BAD_POLYGON,        /* fewer than 3 corners, or sizes that do not add up */
    TSL_ERROR_INDEX_OUT_OF_RANGE, /* a vertex, normal, UV or material index past its list */
    TSL_ERROR_BAD_WEIGHTS,        /* weight runs that do not add up, or a weight's bone past the list */
    TSL_ERROR_NOT_FINITE,         /* a position, normal, UV, weight or matrix entry that is inf or nan */
    /* helpers */
    TSL_ERROR_INDEX_TOO_LARGE, /* 16-bit indices asked for more than 65536 vertices or bones */
    TSL_ERROR_BONE_BUDGET      /* one triangle needs more bones than a part may use */
} tsl_result;

typedef struct tsl_allocator {
    void *(*alloc)(void *user, size_t size); /* null on failure */
    void (*free)(void *user, void *block);
    void *user;
} tsl_allocator;

typedef struct tsl_options {
    tsl_allocator allocator; /* both functions null: malloc and free */
} tsl_options;

/* Where reading stopped (tsl_parse) or the fault lies (tsl_validate). */
typedef struct tsl_error {
    tsl_result type;
    int64_t offset;      /* byte from the start of the file; -1 when unknown or not from a file */
    uint32_t line;       /* 1-based line of offset; 0 when offset is unknown */
    int32_t bone;        /* the bone record being read or at fault; -1 for none */
    int32_t mesh;        /* the mesh record (its index in the file); -1 for none */
    const char *message; /* the rule broken, one sentence */
} tsl_error;

/* What the reader tolerated, as the importer does, without refusing the file. */
typedef enum tsl_warning_type {
    TSL_WARN_BONES_DISCARDED,  /* a later numBones started the bones over; count = bones lost */
    TSL_WARN_MESHES_DISCARDED, /* the same for meshes */
    TSL_WARN_BONE_UNNAMED,     /* the bone has no name: it has no joint and its weights are dropped */
    TSL_WARN_MESH_SKIPPED, /* a polygon of < 3 corners, counts not matching corners, or a vertex index past the list */
    TSL_WARN_NORMALS_DROPPED,   /* normal indices not one per corner or past the list: the mesh has no normals */
    TSL_WARN_UV_SETS_CUT,       /* set `set` has no index list: it and later sets are left out */
    TSL_WARN_UV_SET_EMPTIED,    /* set `set`'s indices are too few or point past it: the set is empty */
    TSL_WARN_MATERIALS_DROPPED, /* material indices not one per polygon, past the names, or not numbers */
    TSL_WARN_WEIGHTS_OUTSIDE,   /* count weights named a bone outside the bone list and were dropped */
    TSL_WARN_WEIGHTS_BEYOND,    /* count pairs after the runs the weight counts ask for were dropped */
    TSL_WARN_SKIN_DROPPED,      /* counts not one per vertex, asking for more weights than given, or no weight left */
    TSL_WARN_NOT_FINITE         /* a number too large for a float was read as infinity; tsl_validate refuses it */
} tsl_warning_type;

typedef struct tsl_warning {
    tsl_warning_type type;
    int32_t bone, mesh, set; /* -1 where it does not apply; mesh is the index in the file */
    uint32_t count;
} tsl_warning;

/* Matrices are 16 floats, row after row; points are row vectors (p' = p M), the
 * translation in row 3. */
typedef struct tsl_bone {
    const char *name;    /* as in the file, NUL-terminated; "" for a bone without a name */
    int32_t parent;      /* index of the parent bone, -1 for a root */
    float inv_bind[16];  /* invBaseMatrix: world space to bone space at bind time */
    float bind[16];      /* its inverse: the bone's world matrix at bind time */
    int bind_invertible; /* 0 when inv_bind is singular for its scale; bind then equals inv_bind */
} tsl_bone;

typedef struct tsl_uv_set {
    uint32_t num_uvs;
    float *uvs;        /* u v pairs */
    uint32_t *indices; /* one per corner into uvs; null when the set is empty (unmapped) */
} tsl_uv_set;

typedef struct tsl_weight {
    uint32_t bone; /* index into the rig's bones */
    float weight;  /* as stored: not normalised */
} tsl_weight;

typedef struct tsl_mesh {
    const char *name;
    int32_t file_index; /* the mesh's index in the file (skipped meshes leave gaps) */

    uint32_t num_vertices;
    float *positions; /* x y z per vertex, world space at bind time */

    uint32_t num_polygons;
    uint32_t *polygon_sizes;  /* corners per polygon, each >= 3 */
    uint32_t *polygon_starts; /* first corner of each polygon */
    uint32_t num_corners;
    uint32_t *corner_vertices; /* vertex index per corner */

    uint32_t num_normals;
    float *normals;           /* x y z per normal */
    uint32_t *normal_indices; /* one per corner into normals; null when the mesh has none */

    uint32_t num_uv_sets;
    tsl_uv_set *uv_sets;

    uint32_t num_materials;
    const char **materials;      /* names */
    uint32_t *polygon_materials; /* one per polygon; null when the file gives none that fit */

    int skinned;              /* 0: no skin; the weight arrays are null */
    uint32_t *weight_offsets; /* num_vertices + 1 entries: vertex v's run is [offsets[v], offsets[v+1]) */
    uint32_t num_weights;
    tsl_weight *weights; /* runs per vertex, each bone once, in first-seen order */
} tsl_mesh;

typedef struct tsl_rig {
    uint32_t num_bones;
    tsl_bone *bones;
    uint32_t num_meshes;
    tsl_mesh *meshes;
    uint32_t num_warnings;
    tsl_warning *warnings;
    tsl_error error; /* set when tsl_parse or tsl_validate fails */
    int y_up;        /* tsl_to_y_up has run */
    /* private */
    tsl_allocator allocator_;
    void *blocks_;
} tsl_rig;

/* Reads a whole file from memory. On failure rig holds only rig->error; call tsl_free in
 * either case. options may be null. */
tsl_result tsl_parse(const void *data, size_t size, const tsl_options *options, tsl_rig *rig);
/* Checks every index against its list, every weight's bone, every parent, polygon sizes
 * and that every value is finite; the first fault goes to rig->error. */
tsl_result tsl_validate(tsl_rig *rig);
/* The file is Z-up: positions and normals (x, y, z) become (x, z, -y); rows 1 and 2 of
 * each inverse bind matrix swap and the new row 2 is negated; bind matrices follow. */
void tsl_to_y_up(tsl_rig *rig);
void tsl_free(tsl_rig *rig);
const char *tsl_result_text(tsl_result result);

/* ---- engine helpers: pure functions over caller-owned arrays ---- */

/* Triangles of a mesh: polygon p with corners c0 .. c(n-1) (c0 = polygon_starts[p])
 * becomes the fan (c0, ck, ck+1) for k = 1 .. n-2, polygons in order. Output is corner
 * indices, 3 per triangle; triangle_polygons (may be null) gets each triangle's polygon. */
uint32_t tsl_triangle_count(const tsl_mesh *mesh);
void tsl_triangulate(const tsl_mesh *mesh, uint32_t *triangle_corners, uint32_t *triangle_polygons);

/* Unique vertices: corners that agree in position, weights, normal and every UV are
 * one vertex. Vertices are numbered in the order of their first corner. */
typedef struct tsl_vertex_table {
    uint32_t num_vertices;
    uint32_t *corner_of_vertex; /* a corner per unique vertex (its first) */
    uint32_t *vertex_of_corner; /* the unique vertex of every corner */
} tsl_vertex_table;
tsl_result tsl_unique_vertices(const tsl_mesh *mesh, const tsl_options *options, tsl_vertex_table *table);
void tsl_free_vertex_table(tsl_vertex_table *table, const tsl_options *options);
/* Triangle indices into the unique vertices, index_size 2 or 4 bytes; out holds
 * 3 * tsl_triangle_count(mesh) indices. 2 bytes and more than 65536 vertices fails with
 * TSL_ERROR_INDEX_TOO_LARGE, writing nothing. */
tsl_result tsl_triangle_indices(const tsl_mesh *mesh, const tsl_vertex_table *table, void *out, int index_size);

/* A skin fitted to engine limits, per mesh vertex: at most max_influences (bone, weight)
 * slots, sorted by weight (largest first, ties by bone index), the rest dropped and the
 * kept ones rescaled to sum to 1, then quantised so that they add up to exactly 255
 * (8 bits) or 65535 (16 bits). Bone indices are 16-bit: a rig of more than 65536 bones
 * fails with TSL_ERROR_INDEX_TOO_LARGE. Weights that are not positive are dropped. A vertex
 * without a positive weight gets all slots 0 and counts as unweighted. Unused slots have
 * bone 0 and weight 0. */
typedef struct tsl_skin_fit {
    uint32_t num_vertices;
    uint32_t max_influences;
    uint32_t weight_bits; /* 8 or 16 */
    uint16_t *bones;      /* num_vertices * max_influences */
    uint16_t *weights;    /* num_vertices * max_influences, quantised */
} tsl_skin_fit;

/* What a fit lost. A vertex is touched when it lost an influence or a kept weight moved
 * by more than one quantisation step. Changes in skinned positions are lengths in the
 * file's units, the largest over all vertices, skinning by linear blend with the weights
 * as stored against the fitted ones: at the bind pose, and at the test pose, where every
 * bone turns 0.5 radians about its own X, Y or Z axis (bone index modulo 3) at its head. */
typedef struct tsl_loss_report {
    uint32_t vertices;
    uint32_t vertices_touched;
    uint32_t vertices_unweighted;
    uint32_t influences_dropped;
    float largest_weight_dropped;
    float largest_bind_change;
    float largest_pose_change;
    int32_t worst_pose_vertex; /* -1 when nothing moved */
} tsl_loss_report;

tsl_result tsl_fit_skin(const tsl_rig *rig, const tsl_mesh *mesh, uint32_t max_influences, uint32_t weight_bits,
                        const tsl_options *options, tsl_skin_fit *fit, tsl_loss_report *report);
void tsl_free_skin_fit(tsl_skin_fit *fit, const tsl_options *options);
/* The fitted weight of a slot as a real in [0, 1]. */
float tsl_fit_weight(const tsl_skin_fit *fit, uint32_t vertex, uint32_t slot);

/* A split of a mesh's triangles (tsl_triangulate's order) into runs that each use at
 * most max_bones bones: triangles are taken in order and a new part starts when the next
 * triangle's bones would not fit. A part's palette lists its bones in first-use order. */
typedef struct tsl_part {
    uint32_t first_triangle, num_triangles;
    uint32_t num_bones;
    uint16_t *bones; /* palette: rig bone indices */
} tsl_part;
typedef struct tsl_split {
    uint32_t num_parts;
    tsl_part *parts;
} tsl_split;
tsl_result tsl_split_by_bones(const tsl_mesh *mesh, const tsl_skin_fit *fit, uint32_t max_bones,
                              const tsl_options *options, tsl_split *split);
void tsl_free_split(tsl_split *split, const tsl_options *options);

#ifdef __cplusplus
}
#endif

#endif /* TSL_H */

#ifdef TSL_IMPLEMENTATION
#ifndef TSL_IMPLEMENTATION_DONE
#define TSL_IMPLEMENTATION_DONE

#include <float.h>
#include <locale.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#define TSL__MAX_RECORDS 5000u

#if defined(__GNUC__) || defined(__clang__)
#define TSL__INLINE static inline __attribute__((always_inline))
#else
#define TSL__INLINE static inline
#endif
#define TSL__MAX_DEPTH 1000

/* ------------------------------------------------------------------ memory */

static void *tsl__default_alloc(void *user, size_t size) {
    (void)user;
    return malloc(size);
}
static void tsl__default_free(void *user, void *block) {
    (void)user;
    free(block);
}
static tsl_allocator tsl__allocator(const tsl_options *options) {
    tsl_allocator a;
    if (options && options->allocator.alloc && options->allocator.free) return options->allocator;
    a.alloc = tsl__default_alloc;
    a.free = tsl__default_free;
    a.user = NULL;
    return a;
}

/* Blocks owned by a rig carry a header linking them, so that tsl_free finds them all
 * and one can be let go early (a list given again replaces the one before). */
typedef struct tsl__block {
    struct tsl__block *prev, *next;
    size_t pad_; /* keeps the payload 16-byte aligned on 64-bit targets */
    size_t size;
} tsl__block;

static void *tsl__rig_alloc(tsl_rig *rig, size_t size) {
    tsl__block *b;
    if (size > (size_t)-1 - sizeof(tsl__block)) return NULL;
    b = (tsl__block *)rig->allocator_.alloc(rig->allocator_.user, sizeof(tsl__block) + size);
    if (!b) return NULL;
    b->prev = NULL;
    b->next = (tsl__block *)rig->blocks_;
    if (b->next) b->next->prev = b;
    b->size = size;
    rig->blocks_ = b;
    return b + 1;
}

static void tsl__rig_release(tsl_rig *rig, void *payload) {
    tsl__block *b;
    if (!payload) return;
    b = (tsl__block *)payload - 1;
    if (b->prev)
        b->prev->next = b->next;
    else
        rig->blocks_ = b->next;
    if (b->next) b->next->prev = b->prev;
    rig->allocator_.free(rig->allocator_.user, b);
}

/* ------------------------------------------------------------------ errors */

const char *tsl_result_text(tsl_result result) {
    switch (result) {
    case TSL_OK: return "no fault";
    case TSL_ERROR_NUL_BYTE: return "a NUL byte in a text file";
    case TSL_ERROR_VERSION: return "a version other than 1";
    case TSL_ERROR_COUNT_OUT_OF_RANGE: return "a count that is negative or not below 5000";
    case TSL_ERROR_INDEX_OUTSIDE_COUNT: return "a bone or mesh index outside its count";
    case TSL_ERROR_BEYOND_32_BITS: return "an integer that does not fit in 32 bits";
    case TSL_ERROR_SET_OUT_OF_ORDER: return "a UV set entry that is not the next set 0, 1, 2, ... or not below 5000";
    case TSL_ERROR_NOT_A_NUMBER: return "a token that is not a number where a number belongs";
    case TSL_ERROR_NOT_A_BLOCK: return "a token that is not a block where a block belongs";
    case TSL_ERROR_BLOCK_NOT_ALLOWED: return "a block where a word or quoted string belongs";
    case TSL_ERROR_VALUE_MISSING: return "a key whose value is missing";
    case TSL_ERROR_ENDS_INSIDE: return "the file ends inside a block or a quoted string";
    case TSL_ERROR_NESTED_TOO_DEEPLY: return "blocks nested more than 1000 deep";
    case TSL_ERROR_RECORD_MISSING: return "the file ends before every declared bone and mesh has its block";
    case TSL_ERROR_NO_MESH_COUNT: return "the file ends after its bones without a mesh count";
    case TSL_ERROR_OUT_OF_MEMORY: return "out of memory";
    case TSL_ERROR_INVALID_ARGUMENT: return "an invalid argument";
    case TSL_ERROR_BAD_PARENT: return "a parent index outside the bones, the bone itself, or a cycle";
    case TSL_ERROR_BAD_POLYGON: return "a polygon of fewer than 3 corners, or sizes that do not add up to the corners";
    case TSL_ERROR_INDEX_OUT_OF_RANGE: return "an index past the end of its list";
    case TSL_ERROR_BAD_WEIGHTS: return "weight runs that do not add up, or a weight on a bone past the bone list";
    case TSL_ERROR_NOT_FINITE: return "a value that is not a finite number";
    case TSL_ERROR_INDEX_TOO_LARGE: return "more vertices or bones than 16-bit indices can address";
    case TSL_ERROR_BONE_BUDGET: return "a triangle uses more bones than a part may";
    }
    return "unknown result";
}

/* ------------------------------------------------------------------ bytes and numbers */

static int tsl__is_space(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
static int tsl__is_word(unsigned char c) { return !tsl__is_space(c) && c != '"' && c != '{' && c != '}'; }
static int tsl__is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

/* A whole decimal integer: optional sign, digits. */
static int tsl__is_integer(const char *p, const char *e) {
    if (p < e && (*p == '+' || *p == '-')) ++p;
    if (p == e) return 0;
    for (; p < e; ++p)
        if (!tsl__is_digit((unsigned char)*p)) return 0;
    return 1;
}

/* A whole decimal real: optional sign, digits with an optional fraction (at least one
 * digit in all), optional exponent. No hex, inf or nan. */
static int tsl__is_real(const char *p, const char *e) {
    int digits = 0;
    if (p < e && (*p == '+' || *p == '-')) ++p;
    while (p < e && tsl__is_digit((unsigned char)*p)) ++p, ++digits;
    if (p < e && *p == '.') {
        ++p;
        while (p < e && tsl__is_digit((unsigned char)*p)) ++p, ++digits;
    }
    if (!digits) return 0;
    if (p < e && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < e && (*p == '+' || *p == '-')) ++p;
        if (p == e || !tsl__is_digit((unsigned char)*p)) return 0;
        while (p < e && tsl__is_digit((unsigned char)*p)) ++p;
    }
    return p == e;
}

/* strtoll's value of a whole decimal integer: clamped to 64 bits. */
static int64_t tsl__integer_value(const char *p, const char *e) {
    int negative = 0;
    uint64_t m = 0, cap;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    cap = negative ? (uint64_t)INT64_MAX + 1u : (uint64_t)INT64_MAX;
    for (; p < e; ++p) {
        unsigned d = (unsigned)(*p - '0');
        if (m > (cap - d) / 10)
            m = cap;
        else
            m = m * 10 + d;
    }
    if (negative) return m > (uint64_t)INT64_MAX ? INT64_MIN : -(int64_t)m;
    return (int64_t)m;
}

/* A double to the nearest float, as a conversion rounds it, with values beyond the
 * float range taken to infinity instead of left to the compiler. */
static float tsl__to_float(double v) {
    const double half_way = 3.4028235677973366e38; /* between FLT_MAX and 2^128 */
    if (v >= half_way) return HUGE_VALF;
    if (v <= -half_way) return -HUGE_VALF;
    if (v > FLT_MAX) return FLT_MAX;
    if (v < -FLT_MAX) return -FLT_MAX;
    return (float)v;
}

static const double tsl__pow10[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

/* The float nearest to the double nearest to the text, as atof then a cast to float
 * give it. Plain forms of up to 15 digits are exact: the digits and the power of ten are
 * both exact doubles, so one division rounds correctly. Others go to strtod, with the
 * locale's decimal point put in place of '.'. Returns 0 when out of memory. */
static int tsl__real_value(tsl_rig *rig, const char *p, const char *e, float *out) {
    char small[64];
    {
        /* [-]digits[.digits] of at most 15 digits */
        const char *q = p;
        int negative = 0, digits = 0, fraction = 0, seen_point = 0;
        uint64_t m = 0;
        if (q < e && *q == '-') negative = 1, ++q;
        for (; q < e && digits <= 15; ++q) {
            if (tsl__is_digit((unsigned char)*q)) {
                m = m * 10 + (uint64_t)(*q - '0');
                ++digits;
                fraction += seen_point;
            } else if (*q == '.' && !seen_point) {
                seen_point = 1;
            } else {
                break;
            }
        }
        if (q == e && digits && digits <= 15) {
            double v = (double)m / tsl__pow10[fraction];
            *out = (float)(negative ? -v : v);
            return 1;
        }
    }
    char *text = small;
    size_t n = (size_t)(e - p), i;
    const char *point = localeconv()->decimal_point;
    size_t point_length = point ? strlen(point) : 0;
    double value;
    if (point_length == 0) {
        point = ".";
        point_length = 1;
    }
    if (n * point_length + 1 > sizeof small) {
        text = (char *)tsl__rig_alloc(rig, n * point_length + 1);
        if (!text) return 0;
    }
    {
        char *q = text;
        for (i = 0; i < n; ++i) {
            if (p[i] == '.') {
                memcpy(q, point, point_length);
                q += point_length;
            } else {
                *q++ = p[i];
            }
        }
        *q = 0;
    }
    value = strtod(text, NULL);
    if (text != small) tsl__rig_release(rig, text);
    *out = tsl__to_float(value);
    return 1;
}

/* White space as the tokenizer knows it: space, tab, LF, VT, FF and CR; branch-free. */
#define TSL__SPACE(c) (((unsigned char)(c) == ' ') | ((unsigned char)((unsigned char)(c)-9u) < 5u))

/* The plain form [-]digits[.digits] of at most 15 digits, ending where its token ends;
 * null when the text is not that (the caller then takes the general path). The scan
 * stops at the first byte that is not a digit or the point, which must exist (the
 * caller knows a closing brace follows). */
TSL__INLINE const char *tsl__plain_real(const char *p, float *out) {
    const int negative = *p == '-';
    const char *digits, *point = NULL;
    uint64_t m = 0;
    unsigned d;
    double v;
    ptrdiff_t count, fraction = 0;
    p += negative;
    digits = p;
    while ((d = (unsigned)(unsigned char)*p - '0') < 10u) {
        m = m * 10u + d;
        ++p;
    }
    if (*p == '.') {
        point = ++p;
        while ((d = (unsigned)(unsigned char)*p - '0') < 10u) {
            m = m * 10u + d;
            ++p;
        }
        fraction = p - point;
    }
    count = p - digits - (point != NULL);
    if (count <= 0 || count > 15 || tsl__is_word((unsigned char)*p)) return NULL;
    v = (double)m / tsl__pow10[fraction];
    *out = (float)(negative ? -v : v);
    return p;
}

/* Unsigned digits, at most 18, ending where the token ends; null otherwise. */
TSL__INLINE const char *tsl__plain_integer(const char *p, int64_t *out) {
    const char *digits = p;
    uint64_t m = 0;
    unsigned d;
    while ((d = (unsigned)(unsigned char)*p - '0') < 10u) {
        m = m * 10u + d;
        ++p;
    }
    if (p == digits || p - digits > 18 || tsl__is_word((unsigned char)*p)) return NULL;
    *out = (int64_t)m;
    return p;
}

/* ------------------------------------------------------------------ the reader */

/* A growing array of 4-byte elements (floats, integers). */
typedef struct tsl__list {
    void *data;
    size_t count, capacity;
} tsl__list;

/* The raw records, as the file gives them. */
typedef struct tsl__raw_bone {
    const char *name, *parent;
    size_t name_length, parent_length;
    float m[16];
    int filled;
} tsl__raw_bone;

typedef struct tsl__raw_mesh {
    const char *name;
    size_t name_length;
    int filled;
    tsl__list vertices, normals, counts, indices, normal_indices, weight_counts, weights;
    tsl__list *uv_sets, *uv_index_sets; /* arrays of lists */
    size_t num_uv_sets, num_uv_index_sets;
    /* materials: a best effort, never a cause of refusal */
    const char *material_block, *material_block_end;
    const char *material_index_block, *material_index_block_end;
} tsl__raw_mesh;

typedef struct tsl__reader {
    tsl_rig *rig;
    const char *text, *end;
    tsl_result fault;
    const char *fault_at; /* null: no offset */
    int32_t bone, mesh;   /* the record being read */
    tsl__raw_bone *bones;
    tsl__raw_mesh *meshes;
    uint32_t num_bones, num_meshes;
    int bones_declared, meshes_declared;
    uint32_t discarded_bones, discarded_meshes;
    int non_finite;
    /* Bytes before this one are known to hold no NUL: the text between lists is looked
     * at with memchr, and a list's own reading refuses a NUL as it refuses any byte that
     * is not part of a number. */
    const char *nul_checked;
} tsl__reader;

typedef enum { TSL__WORD, TSL__QUOTED, TSL__BLOCK } tsl__kind;
typedef struct tsl__token {
    tsl__kind kind;
    const char *start, *end;       /* the whole token */
    const char *value, *value_end; /* inside quotes or braces, or the word */
} tsl__token;

static int tsl__fail(tsl__reader *r, tsl_result fault, const char *at) {
    if (r->fault == TSL_OK) {
        r->fault = fault;
        r->fault_at = at;
    }
    return 0;
}

/* The end of the block that opens at p (just past its closing brace), its content at
 * absolute depth `depth`; quoted strings inside are bytes. Null, with the fault noted,
 * when it never closes or nests too deeply. */
static const char *tsl__match_block(tsl__reader *r, const char *p, int depth) {
    const char *e = r->end;
    int level = 0;
    for (; p < e; ++p) {
        char c = *p;
        if (c == '{') {
            ++level;
            if (depth - 1 + level > TSL__MAX_DEPTH)
                return tsl__fail(r, TSL_ERROR_NESTED_TOO_DEEPLY, NULL), (const char *)NULL;
        } else if (c == '}') {
            if (--level == 0) return p + 1;
        } else if (c == '"') {
            const char *q = (const char *)memchr(p + 1, '"', (size_t)(e - p - 1));
            if (!q) break;
            p = q;
        }
    }
    tsl__fail(r, TSL_ERROR_ENDS_INSIDE, e);
    return NULL;
}

/* The next token from *pos. depth is the nesting of the range read: at the top level (0)
 * a closing brace is passed over; inside a block it ends the range and is left at *pos.
 * Returns 1 for a token, 0 for none (the range ended), -1 with the fault noted. */
static int tsl__next(tsl__reader *r, const char **pos, int depth, tsl__token *t) {
    const char *p = *pos, *e = r->end;
    for (;;) {
        while (p < e && tsl__is_space((unsigned char)*p)) ++p;
        if (p == e) {
            *pos = p;
            if (depth > 0) return tsl__fail(r, TSL_ERROR_ENDS_INSIDE, e), -1;
            return 0;
        }
        if (*p != '}') break;
        if (depth > 0) {
            *pos = p;
            return 0;
        }
        ++p;
    }
    t->start = p;
    if (*p == '"') {
        const char *q = (const char *)memchr(p + 1, '"', (size_t)(e - p - 1));
        if (!q) return tsl__fail(r, TSL_ERROR_ENDS_INSIDE, e), -1;
        t->kind = TSL__QUOTED;
        t->value = p + 1;
        t->value_end = q;
        t->end = q + 1;
    } else if (*p == '{') {
        const char *after = tsl__match_block(r, p, depth + 1);
        if (!after) return -1;
        t->kind = TSL__BLOCK;
        t->value = p + 1;
        t->value_end = after - 1;
        t->end = after;
    } else {
        const char *q = p + 1;
        while (q < e && tsl__is_word((unsigned char)*q)) ++q;
        t->kind = TSL__WORD;
        t->value = p;
        t->value_end = q;
        t->end = q;
    }
    *pos = t->end;
    return 1;
}

/* Keys are compared by their value: a quoted "name" or a block {name} is the key name,
 * as the host's reader takes them. */
static int tsl__is(const tsl__token *t, const char *key) {
    size_t n = strlen(key);
    return (size_t)(t->value_end - t->value) == n && memcmp(t->value, key, n) == 0;
}

/* The next token of the range, which must be there: VALUE_MISSING at the key when not. */
static int tsl__value(tsl__reader *r, const char **pos, int depth, const tsl__token *key, tsl__token *t) {
    int got = tsl__next(r, pos, depth, t);
    if (got < 0) return 0;
    if (got == 0) return tsl__fail(r, TSL_ERROR_VALUE_MISSING, key->value);
    return 1;
}

static int tsl__integer(tsl__reader *r, const char **pos, int depth, const tsl__token *key, int64_t *value) {
    tsl__token t;
    if (!tsl__value(r, pos, depth, key, &t)) return 0;
    if (t.kind != TSL__WORD || !tsl__is_integer(t.start, t.end)) return tsl__fail(r, TSL_ERROR_NOT_A_NUMBER, t.start);
    *value = tsl__integer_value(t.start, t.end);
    return 1;
}

/* Positions the cursor just inside the block that must follow key. */
static int tsl__open_block(tsl__reader *r, const char **pos, int depth, const tsl__token *key) {
    const char *p = *pos, *e = r->end;
    while (p < e && tsl__is_space((unsigned char)*p)) ++p;
    while (depth == 0 && p < e && *p == '}') {
        ++p;
        while (p < e && tsl__is_space((unsigned char)*p)) ++p;
    }
    if (p == e) {
        if (depth > 0) return tsl__fail(r, TSL_ERROR_ENDS_INSIDE, e);
        return tsl__fail(r, TSL_ERROR_VALUE_MISSING, key->value);
    }
    if (*p == '}') return tsl__fail(r, TSL_ERROR_VALUE_MISSING, key->value);
    if (*p != '{') {
        if (*p == '"' && !memchr(p + 1, '"', (size_t)(e - p - 1))) return tsl__fail(r, TSL_ERROR_ENDS_INSIDE, e);
        return tsl__fail(r, TSL_ERROR_NOT_A_BLOCK, p);
    }
    *pos = p + 1;
    return 1;
}

/* A word or quoted string (name, parent, version). */
static int tsl__name(tsl__reader *r, const char **pos, int depth, const tsl__token *key, tsl__token *t) {
    if (!tsl__value(r, pos, depth, key, t)) return 0;
    if (t->kind == TSL__BLOCK) return tsl__fail(r, TSL_ERROR_BLOCK_NOT_ALLOWED, t->start);
    return 1;
}

static int tsl__reserve(tsl__reader *r, tsl__list *list, size_t wanted) {
    size_t capacity;
    void *data;
    if (wanted <= list->capacity) return 1;
    capacity = list->capacity * 2 > wanted ? list->capacity * 2 : wanted;
    if (capacity > (size_t)-1 / 4) return tsl__fail(r, TSL_ERROR_OUT_OF_MEMORY, NULL);
    data = tsl__rig_alloc(r->rig, capacity * 4);
    if (!data) return tsl__fail(r, TSL_ERROR_OUT_OF_MEMORY, NULL);
    if (list->count) memcpy(data, list->data, list->count * 4);
    tsl__rig_release(r->rig, list->data);
    list->data = data;
    list->capacity = capacity;
    return 1;
}

static void tsl__list_free(tsl__reader *r, tsl__list *list) {
    tsl__rig_release(r->rig, list->data);
    list->data = NULL;
    list->count = list->capacity = 0;
}

/* The list kinds: reals in groups of `group` (3 for points, 2 for UVs), unsigned 32-bit
 * integers, or (bone, weight) pairs. */
typedef enum { TSL__REALS, TSL__UNSIGNED, TSL__PAIRS } tsl__list_kind;

/* The token that is not a number of its kind, or an integer beyond 32 bits, at p. */
static int tsl__bad_entry(tsl__reader *r, const char *p, int integer, int64_t *ivalue, float *fvalue) {
    const char *q = p;
    if (*p == '"' || *p == '{') return tsl__fail(r, TSL_ERROR_NOT_A_NUMBER, p);
    while (q < r->end && tsl__is_word((unsigned char)*q)) ++q;
    if (integer) {
        if (!tsl__is_integer(p, q)) return tsl__fail(r, TSL_ERROR_NOT_A_NUMBER, p);
        *ivalue = tsl__integer_value(p, q);
    } else {
        if (!tsl__is_real(p, q)) return tsl__fail(r, TSL_ERROR_NOT_A_NUMBER, p);
        if (!tsl__real_value(r->rig, p, q, fvalue)) return tsl__fail(r, TSL_ERROR_OUT_OF_MEMORY, NULL);
        if (!(*fvalue - *fvalue == 0.0f)) r->non_finite = 1;
    }
    return 1;
}

/* The slow path of a list entry: a token that is not a plain number. Reads it as a
 * whole number of its kind or notes the fault; returns the end of the token or null. */
static const char *tsl__entry(tsl__reader *r, const char *p, int integer, int64_t *ivalue, float *fvalue) {
    const char *q = p;
    if (!tsl__bad_entry(r, p, integer, ivalue, fvalue)) return NULL;
    while (tsl__is_word((unsigned char)*q)) ++q;
    return q;
}

/* Reads the number list whose block content starts at *pos, appending to list, and moves
 * past its closing brace. Numbers missing at the end of the last group read as 0. The
 * closing brace is found first: it bounds the room the list may need and stops every
 * scan, so the loops need no other bound. */
static int tsl__read_list(tsl__reader *r, const char **pos, tsl__list_kind kind, int group, tsl__list *list) {
    const char *p = *pos, *e = r->end;
    const char *close = (const char *)memchr(p, '}', (size_t)(e - p));
    const size_t start = list->count;
    size_t n = start, capacity;
    if (!close) return tsl__fail(r, TSL_ERROR_ENDS_INSIDE, e);
    if (p > r->nul_checked && memchr(r->nul_checked, 0, (size_t)(p - r->nul_checked)))
        return tsl__fail(r, TSL_ERROR_NUL_BYTE, NULL);
    /* Room for a typical list at once: a number and its separators take five bytes or more. */
    if (!tsl__reserve(r, list, n + (size_t)(close - p) / 5 + 4)) return 0;
    capacity = list->capacity;
#define TSL__ROOM(k)                                   \
    if (n + (k) > capacity) {                          \
        list->count = n;                               \
        if (!tsl__reserve(r, list, n + (k))) return 0; \
        capacity = list->capacity;                     \
    }
    if (kind == TSL__REALS) {
        for (;;) {
            float v;
            const char *after;
            while (TSL__SPACE(*p)) ++p;
            if (*p == '}') break;
            TSL__ROOM(1)
            if (!(after = tsl__plain_real(p, &v))) {
                int64_t unused;
                if (!(after = tsl__entry(r, p, 0, &unused, &v))) return 0;
            }
            ((float *)list->data)[n++] = v;
            p = after;
        }
    } else if (kind == TSL__UNSIGNED) {
        for (;;) {
            int64_t v;
            const char *after;
            while (TSL__SPACE(*p)) ++p;
            if (*p == '}') break;
            TSL__ROOM(1)
            if (!(after = tsl__plain_integer(p, &v))) {
                float unused;
                if (!(after = tsl__entry(r, p, 1, &v, &unused))) return 0;
            }
            if (v < INT32_MIN || v > (int64_t)UINT32_MAX) return tsl__fail(r, TSL_ERROR_BEYOND_32_BITS, p);
            ((uint32_t *)list->data)[n++] = (uint32_t)v;
            p = after;
        }
    } else {
        for (;;) {
            int64_t bone;
            float weight;
            const char *after;
            while (TSL__SPACE(*p)) ++p;
            if (*p == '}') break;
            TSL__ROOM(2)
            if (!(after = tsl__plain_integer(p, &bone))) {
                float unused;
                if (!(after = tsl__entry(r, p, 1, &bone, &unused))) return 0;
            }
            if (bone < INT32_MIN || bone > (int64_t)UINT32_MAX) return tsl__fail(r, TSL_ERROR_BEYOND_32_BITS, p);
            ((uint32_t *)list->data)[n++] = (uint32_t)bone;
            p = after;
            while (TSL__SPACE(*p)) ++p;
            if (*p == '}') break; /* the pair's weight is missing: padded below */
            if (!(after = tsl__plain_real(p, &weight))) {
                int64_t unused;
                if (!(after = tsl__entry(r, p, 0, &unused, &weight))) return 0;
            }
            ((float *)list->data)[n++] = weight;
            p = after;
        }
    }
#undef TSL__ROOM
    /* A group the list ends inside reads its missing numbers as 0, which is 0.0f too. */
    if ((n - start) % (size_t)group) {
        size_t missing = (size_t)group - (n - start) % (size_t)group;
        list->count = n;
        if (!tsl__reserve(r, list, n + missing)) return 0;
        memset((uint32_t *)list->data + n, 0, missing * sizeof(uint32_t));
        n += missing;
    }
    list->count = n;
    *pos = p + 1;
    r->nul_checked = *pos;
    return 1;
}

/* "set 0 { ... } set 1 { ... }" inside a block whose content starts at *pos; the sets
 * replace those of an earlier entry of the same key. */
static int tsl__read_sets(tsl__reader *r, const char **pos, int depth, int reals, tsl__list **sets, size_t *num_sets) {
    size_t count = 0, capacity = 0, i;
    tsl__list *list = NULL;
    int ok = 1;
    for (i = 0; i < *num_sets; ++i) tsl__list_free(r, &(*sets)[i]);
    tsl__rig_release(r->rig, *sets);
    *sets = NULL;
    *num_sets = 0;
    for (;;) {
        tsl__token key;
        int64_t number;
        int got = tsl__next(r, pos, depth, &key);
        if (got < 0) {
            ok = 0;
            break;
        }
        if (got == 0) {
            ++*pos; /* the closing brace */
            break;
        }
        if (!tsl__is(&key, "set")) {
            ok = tsl__fail(r, TSL_ERROR_SET_OUT_OF_ORDER, key.value);
            break;
        }
        if (!tsl__integer(r, pos, depth, &key, &number)) {
            ok = 0;
            break;
        }
        if (number != (int64_t)count || number >= (int64_t)TSL__MAX_RECORDS) {
            ok = tsl__fail(r, TSL_ERROR_SET_OUT_OF_ORDER, key.value);
            break;
        }
        if (!tsl__open_block(r, pos, depth, &key)) {
            ok = 0;
            break;
        }
        if (count == capacity) {
            size_t grown = capacity ? capacity * 2 : 4;
            tsl__list *more = (tsl__list *)tsl__rig_alloc(r->rig, grown * sizeof(tsl__list));
            if (!more) {
                ok = tsl__fail(r, TSL_ERROR_OUT_OF_MEMORY, NULL);
                break;
            }
            if (count) memcpy(more, list, count * sizeof(tsl__list));
            tsl__rig_release(r->rig, list);
            list = more;
            capacity = grown;
        }
        memset(&list[count], 0, sizeof(tsl__list));
        ++count;
        if (!tsl__read_list(r, pos, reals ? TSL__REALS : TSL__UNSIGNED, reals ? 2 : 1, &list[count - 1])) {
            ok = 0;
            break;
        }
    }
    *sets = list;
    *num_sets = count;
    return ok;
}

static void tsl__mesh_lists_free(tsl__reader *r, tsl__raw_mesh *m) {
    size_t i;
    tsl__list_free(r, &m->vertices);
    tsl__list_free(r, &m->normals);
    tsl__list_free(r, &m->counts);
    tsl__list_free(r, &m->indices);
    tsl__list_free(r, &m->normal_indices);
    tsl__list_free(r, &m->weight_counts);
    tsl__list_free(r, &m->weights);
    for (i = 0; i < m->num_uv_sets; ++i) tsl__list_free(r, &m->uv_sets[i]);
    for (i = 0; i < m->num_uv_index_sets; ++i) tsl__list_free(r, &m->uv_index_sets[i]);
    tsl__rig_release(r->rig, m->uv_sets);
    tsl__rig_release(r->rig, m->uv_index_sets);
    m->uv_sets = m->uv_index_sets = NULL;
    m->num_uv_sets = m->num_uv_index_sets = 0;
}

static int tsl__read_bone(tsl__reader *r, const char **pos, tsl__raw_bone *b) {
    tsl__token key, t;
    int got, i;
    while ((got = tsl__next(r, pos, 1, &key)) > 0) {
        if (tsl__is(&key, "name") || tsl__is(&key, "parent")) {
            int is_name = tsl__is(&key, "name");
            if (!tsl__name(r, pos, 1, &key, &t)) return 0;
            if (is_name) {
                b->name = t.value;
                b->name_length = (size_t)(t.value_end - t.value);
            } else {
                b->parent = t.value;
                b->parent_length = (size_t)(t.value_end - t.value);
            }
        } else if (tsl__is(&key, "invBaseMatrix")) {
            for (i = 0; i < 16; ++i) {
                got = tsl__next(r, pos, 1, &t);
                if (got < 0) return 0;
                if (got == 0) { /* the block ends first: the rest reads as 0 */
                    for (; i < 16; ++i) b->m[i] = 0.0f;
                    break;
                }
                if (t.kind != TSL__WORD || !tsl__is_real(t.start, t.end))
                    return tsl__fail(r, TSL_ERROR_NOT_A_NUMBER, t.start);
                if (!tsl__real_value(r->rig, t.start, t.end, &b->m[i]))
                    return tsl__fail(r, TSL_ERROR_OUT_OF_MEMORY, NULL);
                if (!(b->m[i] - b->m[i] == 0.0f)) r->non_finite = 1;
            }
        }
    }
    if (got < 0) return 0;
    ++*pos;
    return 1;
}

static int tsl__read_mesh(tsl__reader *r, const char **pos, tsl__raw_mesh *m) {
    tsl__token key, t;
    int got, pending = 0;
    tsl__mesh_lists_free(r, m);
    m->material_block = m->material_index_block = NULL;
    /* A token looked at ahead (after a material key) is taken as the next key. */
    while (pending ? (pending = 0, key = t, got = 1) : (got = tsl__next(r, pos, 1, &key)) > 0) {
        tsl__list *list = NULL;
        tsl__list_kind kind = TSL__UNSIGNED;
        int group = 1;
        if (tsl__is(&key, "name")) {
            if (!tsl__name(r, pos, 1, &key, &t)) return 0;
            m->name = t.value;
            m->name_length = (size_t)(t.value_end - t.value);
            continue;
        }
        if (tsl__is(&key, "material")) { /* no writer writes it: its value is passed over */
            got = tsl__next(r, pos, 1, &t);
            if (got < 0) return 0;
            if (got == 0) break;
            continue;
        }
        if (tsl__is(&key, "textureCoordinates") || tsl__is(&key, "polygonTexCoordIndices")) {
            int reals = tsl__is(&key, "textureCoordinates");
            if (!tsl__open_block(r, pos, 1, &key)) return 0;
            if (reals) {
                if (!tsl__read_sets(r, pos, 2, 1, &m->uv_sets, &m->num_uv_sets)) return 0;
            } else if (!tsl__read_sets(r, pos, 2, 0, &m->uv_index_sets, &m->num_uv_index_sets)) {
                return 0;
            }
            continue;
        }
        if (tsl__is(&key, "materialNames") || tsl__is(&key, "polygonMaterialIndices")) {
            /* Not part of the file's grammar for the host's reader: the key is passed
             * over and the next token read as a key, whatever it is. When that token is
             * a block it is also kept as the material list. */
            got = tsl__next(r, pos, 1, &t);
            if (got < 0) return 0;
            if (got == 0) break;
            if (t.kind == TSL__BLOCK) {
                if (tsl__is(&key, "materialNames")) {
                    m->material_block = t.value;
                    m->material_block_end = t.value_end;
                } else {
                    m->material_index_block = t.value;
                    m->material_index_block_end = t.value_end;
                }
            }
            pending = 1;
            continue;
        }
        if (tsl__is(&key, "vertices"))
            list = &m->vertices, kind = TSL__REALS, group = 3;
        else if (tsl__is(&key, "normals"))
            list = &m->normals, kind = TSL__REALS, group = 3;
        else if (tsl__is(&key, "polygonVertexCounts"))
            list = &m->counts;
        else if (tsl__is(&key, "polygonVertexIndices"))
            list = &m->indices;
        else if (tsl__is(&key, "polygonNormalIndices"))
            list = &m->normal_indices;
        else if (tsl__is(&key, "vertexWeightCounts"))
            list = &m->weight_counts;
        else if (tsl__is(&key, "weights"))
            list = &m->weights, kind = TSL__PAIRS, group = 2;
        if (!list) continue; /* an unknown key: passed over alone */
        if (!tsl__open_block(r, pos, 1, &key)) return 0;
        if (!tsl__read_list(r, pos, kind, group, list)) return 0;
    }
    if (got < 0) return 0;
    ++*pos;
    return 1;
}

/* numBones / numMeshes: a count again starts the records over. */
static int tsl__declare(tsl__reader *r, const char **pos, const tsl__token *key, int bones) {
    int64_t count;
    uint32_t i, filled = 0;
    if (!tsl__integer(r, pos, 0, key, &count)) return 0;
    if (count < 0 || count >= (int64_t)TSL__MAX_RECORDS) return tsl__fail(r, TSL_ERROR_COUNT_OUT_OF_RANGE, key->value);
    if (bones) {
        for (i = 0; i < r->num_bones; ++i) filled += (uint32_t)r->bones[i].filled;
        r->discarded_bones += filled;
        tsl__rig_release(r->rig, r->bones);
        r->bones = NULL;
        r->num_bones = (uint32_t)count;
        r->bones_declared = 1;
        if (count) {
            r->bones = (tsl__raw_bone *)tsl__rig_alloc(r->rig, (size_t)count * sizeof(tsl__raw_bone));
            if (!r->bones) return tsl__fail(r, TSL_ERROR_OUT_OF_MEMORY, NULL);
            memset(r->bones, 0, (size_t)count * sizeof(tsl__raw_bone));
            for (i = 0; i < (uint32_t)count; ++i)
                r->bones[i].m[0] = r->bones[i].m[5] = r->bones[i].m[10] = r->bones[i].m[15] = 1.0f;
        }
    } else {
        for (i = 0; i < r->num_meshes; ++i) {
            filled += (uint32_t)r->meshes[i].filled;
            tsl__mesh_lists_free(r, &r->meshes[i]);
        }
        r->discarded_meshes += filled;
        tsl__rig_release(r->rig, r->meshes);
        r->meshes = NULL;
        r->num_meshes = (uint32_t)count;
        r->meshes_declared = 1;
        if (count) {
            r->meshes = (tsl__raw_mesh *)tsl__rig_alloc(r->rig, (size_t)count * sizeof(tsl__raw_mesh));
            if (!r->meshes) return tsl__fail(r, TSL_ERROR_OUT_OF_MEMORY, NULL);
            memset(r->meshes, 0, (size_t)count * sizeof(tsl__raw_mesh));
        }
    }
    return 1;
}

static int tsl__read_file(tsl__reader *r) {
    const char *pos = r->text;
    tsl__token key, t;
    int got;
    uint32_t i;
    while ((got = tsl__next(r, &pos, 0, &key)) > 0) {
        if (tsl__is(&key, "version")) {
            if (!tsl__name(r, &pos, 0, &key, &t)) return 0;
            if (!tsl__is(&t, "1")) return tsl__fail(r, TSL_ERROR_VERSION, t.value);
        } else if (tsl__is(&key, "numBones") || tsl__is(&key, "numMeshes")) {
            if (!tsl__declare(r, &pos, &key, tsl__is(&key, "numBones"))) return 0;
        } else if (tsl__is(&key, "bone") || tsl__is(&key, "mesh")) {
            int bone = tsl__is(&key, "bone");
            int64_t index;
            if (!tsl__integer(r, &pos, 0, &key, &index)) return 0;
            if (index < 0 || index >= (int64_t)(bone ? r->num_bones : r->num_meshes))
                return tsl__fail(r, TSL_ERROR_INDEX_OUTSIDE_COUNT, key.value);
            if (bone)
                r->bone = (int32_t)index;
            else
                r->mesh = (int32_t)index;
            if (!tsl__open_block(r, &pos, 0, &key)) return 0;
            if (bone) {
                r->bones[index].filled = 1;
                if (!tsl__read_bone(r, &pos, &r->bones[index])) return 0;
            } else {
                r->meshes[index].filled = 1;
                if (!tsl__read_mesh(r, &pos, &r->meshes[index])) return 0;
            }
            r->bone = r->mesh = -1;
        }
    }
    if (got < 0) return 0;
    if (r->end > r->nul_checked && memchr(r->nul_checked, 0, (size_t)(r->end - r->nul_checked)))
        return tsl__fail(r, TSL_ERROR_NUL_BYTE, NULL);
    for (i = 0; i < r->num_bones; ++i)
        if (!r->bones[i].filled) return tsl__fail(r, TSL_ERROR_RECORD_MISSING, r->end);
    for (i = 0; i < r->num_meshes; ++i)
        if (!r->meshes[i].filled) return tsl__fail(r, TSL_ERROR_RECORD_MISSING, r->end);
    if (r->bones_declared && !r->meshes_declared) return tsl__fail(r, TSL_ERROR_NO_MESH_COUNT, r->end);
    return 1;
}

/* The structure of the whole text as the host's reader checks it before anything else:
 * a quote pairs with the next quote, braces outside quoted strings nest, a closing brace
 * outside every block is passed over. */
static tsl_result tsl__structure(const char *p, const char *e) {
    int depth = 0, deepest = 0;
    for (; p < e; ++p) {
        if (*p == '{') {
            if (++depth > deepest) deepest = depth;
        } else if (*p == '}') {
            if (depth > 0) --depth;
        } else if (*p == '"') {
            const char *q = (const char *)memchr(p + 1, '"', (size_t)(e - p - 1));
            if (!q) return TSL_ERROR_ENDS_INSIDE;
            p = q;
        }
    }
    if (depth > 0) return TSL_ERROR_ENDS_INSIDE;
    return deepest > TSL__MAX_DEPTH ? TSL_ERROR_NESTED_TOO_DEEPLY : TSL_OK;
}

/* ------------------------------------------------------------------ building the model */

static int tsl__warn(tsl_rig *rig, size_t *capacity, tsl_warning_type type, int32_t bone, int32_t mesh, int32_t set,
                     uint32_t count) {
    tsl_warning *w;
    if (rig->num_warnings == *capacity) {
        size_t grown = *capacity ? *capacity * 2 : 8;
        tsl_warning *more = (tsl_warning *)tsl__rig_alloc(rig, grown * sizeof(tsl_warning));
        if (!more) return 0;
        if (rig->num_warnings) memcpy(more, rig->warnings, rig->num_warnings * sizeof(tsl_warning));
        tsl__rig_release(rig, rig->warnings);
        rig->warnings = more;
        *capacity = grown;
    }
    w = &rig->warnings[rig->num_warnings++];
    w->type = type;
    w->bone = bone;
    w->mesh = mesh;
    w->set = set;
    w->count = count;
    return 1;
}

static char *tsl__string(tsl_rig *rig, const char *text, size_t length) {
    char *s = (char *)tsl__rig_alloc(rig, length + 1);
    if (!s) return NULL;
    if (length) memcpy(s, text, length);
    s[length] = 0;
    return s;
}

/* The inverse of m in double precision, unless m is singular for its own scale: |det| no
 * more than 1e-5 times the product of the lengths of its first three rows. */
static int tsl__invert(const float *m, float *out) {
    double a[16], inv[16], det, scale = 1.0;
    int i, r;
    for (i = 0; i < 16; ++i) a[i] = m[i];
    for (r = 0; r < 3; ++r)
        scale *= sqrt(a[r * 4] * a[r * 4] + a[r * 4 + 1] * a[r * 4 + 1] + a[r * 4 + 2] * a[r * 4 + 2]);
    inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] + a[9] * a[7] * a[14] +
             a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
    inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] - a[8] * a[7] * a[14] -
             a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
    inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] + a[8] * a[7] * a[13] +
             a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
    inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] - a[8] * a[6] * a[13] -
              a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
    inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] - a[9] * a[3] * a[14] -
             a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
    inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] + a[8] * a[3] * a[14] +
             a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
    inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] - a[8] * a[3] * a[13] -
             a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
    inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] + a[8] * a[2] * a[13] +
              a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
    inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] + a[5] * a[3] * a[14] +
             a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
    inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] - a[4] * a[3] * a[14] -
             a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
    inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] + a[4] * a[3] * a[13] +
              a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
    inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] - a[4] * a[2] * a[13] -
              a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
    inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] - a[5] * a[3] * a[10] -
             a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
    inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] + a[4] * a[3] * a[10] +
             a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
    inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] - a[4] * a[3] * a[9] -
              a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
    inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] + a[4] * a[2] * a[9] + a[8] * a[1] * a[6] -
              a[8] * a[2] * a[5];
    det = a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
    if (!(fabs(det) > 1e-5 * scale)) {
        memcpy(out, m, 16 * sizeof(float));
        return 0;
    }
    for (i = 0; i < 16; ++i) out[i] = tsl__to_float(inv[i] / det);
    return 1;
}

/* A small open-addressing table from bone names to the last bone of that name. */
static uint32_t tsl__hash(const char *s, size_t n) {
    uint32_t h = 2166136261u;
    size_t i;
    for (i = 0; i < n; ++i) h = (h ^ (unsigned char)s[i]) * 16777619u;
    return h;
}

/* Parents as the importer finds them: by name, the last named bone of that name, never
 * the bone itself. Bones are made in index order, each right after its parent (made
 * first when it is not yet); a bone whose parent is still being made when it is reached
 * (parents that form a cycle) becomes a root. */
static int32_t tsl__find(const int32_t *table, uint32_t size, const tsl__raw_bone *raw, const char *name,
                         size_t length) {
    uint32_t h;
    if (!length) return -1;
    h = tsl__hash(name, length) & (size - 1);
    while (table[h] >= 0) {
        const tsl__raw_bone *c = &raw[table[h]];
        if (c->name_length == length && memcmp(c->name, name, length) == 0) return table[h];
        h = (h + 1) & (size - 1);
    }
    return -1;
}

static int tsl__resolve_parents(tsl_rig *rig, const tsl__raw_bone *raw) {
    uint32_t n = rig->num_bones, size = 16, i;
    int32_t *table, *stack, *found;
    unsigned char *state; /* 0 untouched, 1 under way, 2 made */
    while (size < 2 * n) size *= 2;
    table = (int32_t *)tsl__rig_alloc(rig, (size + 2 * (size_t)n) * sizeof(int32_t) + n);
    if (!table) return 0;
    stack = table + size;
    found = stack + n;
    state = (unsigned char *)(found + n);
    for (i = 0; i < size; ++i) table[i] = -1;
    memset(state, 0, n);
    for (i = 0; i < n; ++i) {
        uint32_t h;
        if (!raw[i].name_length) continue;
        h = tsl__hash(raw[i].name, raw[i].name_length) & (size - 1);
        while (table[h] >= 0 && !(raw[table[h]].name_length == raw[i].name_length &&
                                  memcmp(raw[table[h]].name, raw[i].name, raw[i].name_length) == 0))
            h = (h + 1) & (size - 1);
        table[h] = (int32_t)i;
    }
    for (i = 0; i < n; ++i) {
        uint32_t depth = 0;
        if (!raw[i].name_length || state[i]) continue;
        state[i] = 1;
        found[i] = -2; /* parent not looked up yet */
        stack[depth++] = (int32_t)i;
        while (depth) {
            int32_t b = stack[depth - 1], j;
            if (found[b] == -2) {
                j = tsl__find(table, size, raw, raw[b].parent, raw[b].parent_length);
                found[b] = j == b ? -1 : j;
                if (found[b] >= 0 && state[found[b]] == 0) {
                    state[found[b]] = 1;
                    found[found[b]] = -2;
                    stack[depth++] = found[b];
                    continue;
                }
            }
            j = found[b];
            rig->bones[b].parent = (j >= 0 && state[j] == 2) ? j : -1;
            state[b] = 2;
            --depth;
        }
    }
    tsl__rig_release(rig, table);
    return 1;
}

static int tsl__all_below(const uint32_t *v, size_t n, uint32_t limit) {
    size_t i;
    for (i = 0; i < n; ++i)
        if (v[i] >= limit) return 0;
    return 1;
}

/* Strings of a materialNames block: its quoted strings and words, in order. */
static int tsl__materials(tsl_rig *rig, tsl_mesh *mesh, const char *p, const char *e) {
    uint32_t count = 0, pass;
    for (pass = 0; pass < 2; ++pass) {
        const char *q = p;
        count = 0;
        while (q < e) {
            const char *s, *t;
            while (q < e && tsl__is_space((unsigned char)*q)) ++q;
            if (q == e) break;
            if (*q == '"') {
                s = q + 1;
                t = (const char *)memchr(s, '"', (size_t)(e - s));
                if (!t) return 1;
                q = t + 1;
            } else if (tsl__is_word((unsigned char)*q)) {
                s = q;
                while (q < e && tsl__is_word((unsigned char)*q)) ++q;
                t = q;
            } else {
                /* blocks and braces in a material list: the list is not used */
                mesh->num_materials = 0;
                mesh->materials = NULL;
                return 1;
            }
            if (pass == 1 && !(mesh->materials[count] = tsl__string(rig, s, (size_t)(t - s)))) return 0;
            ++count;
        }
        if (pass == 0) {
            if (!count) return 1;
            mesh->materials = (const char **)tsl__rig_alloc(rig, count * sizeof(char *));
            if (!mesh->materials) return 0;
        }
    }
    mesh->num_materials = count;
    return 1;
}

/* Per-polygon material indices, kept only when they are numbers, one per polygon, each
 * naming a material. */
static int tsl__material_indices(tsl_rig *rig, tsl_mesh *mesh, const char *p, const char *e) {
    uint32_t n = 0;
    uint32_t *out = (uint32_t *)tsl__rig_alloc(rig, (mesh->num_polygons ? mesh->num_polygons : 1) * sizeof(uint32_t));
    if (!out) return 0;
    while (p < e) {
        const char *s;
        int64_t v;
        while (p < e && tsl__is_space((unsigned char)*p)) ++p;
        if (p == e) break;
        s = p;
        while (p < e && tsl__is_word((unsigned char)*p)) ++p;
        if (s == p || !tsl__is_integer(s, p) || n == mesh->num_polygons) break;
        v = tsl__integer_value(s, p);
        if (v < 0 || v >= (int64_t)mesh->num_materials) break;
        out[n++] = (uint32_t)v;
    }
    if (p < e || n != mesh->num_polygons || !mesh->num_polygons) {
        tsl__rig_release(rig, out);
        return 2;
    }
    mesh->polygon_materials = out;
    return 1;
}

static int tsl__build_mesh(tsl_rig *rig, size_t *warnings, const tsl__raw_mesh *raw, int32_t file_index,
                           tsl_mesh *mesh) {
    const uint32_t *counts = (const uint32_t *)raw->counts.data;
    const uint32_t *indices = (const uint32_t *)raw->indices.data;
    uint64_t corners = 0;
    size_t i, s;
    memset(mesh, 0, sizeof *mesh);
    mesh->file_index = file_index;
    for (i = 0; i < raw->counts.count; ++i) {
        if (counts[i] < 3) return 2;
        corners += counts[i];
    }
    if (corners != raw->indices.count ||
        !tsl__all_below(indices, raw->indices.count, (uint32_t)(raw->vertices.count / 3)))
        return 2;
    if (!(mesh->name = tsl__string(rig, raw->name ? raw->name : "", raw->name_length))) return 0;
    mesh->num_vertices = (uint32_t)(raw->vertices.count / 3);
    mesh->positions = (float *)raw->vertices.data;
    mesh->num_polygons = (uint32_t)raw->counts.count;
    mesh->polygon_sizes = (uint32_t *)raw->counts.data;
    mesh->num_corners = (uint32_t)corners;
    mesh->corner_vertices = (uint32_t *)raw->indices.data;
    mesh->polygon_starts = (uint32_t *)tsl__rig_alloc(rig, (mesh->num_polygons + 1) * sizeof(uint32_t));
    if (!mesh->polygon_starts) return 0;
    {
        uint32_t start = 0;
        for (i = 0; i < mesh->num_polygons; ++i) {
            mesh->polygon_starts[i] = start;
            start += counts[i];
        }
        mesh->polygon_starts[mesh->num_polygons] = start;
    }

    if (raw->normal_indices.count) {
        if (raw->normal_indices.count != corners ||
            !tsl__all_below((const uint32_t *)raw->normal_indices.data, raw->normal_indices.count,
                            (uint32_t)(raw->normals.count / 3))) {
            if (!tsl__warn(rig, warnings, TSL_WARN_NORMALS_DROPPED, -1, file_index, -1, 0)) return 0;
        } else {
            mesh->num_normals = (uint32_t)(raw->normals.count / 3);
            mesh->normals = (float *)raw->normals.data;
            mesh->normal_indices = (uint32_t *)raw->normal_indices.data;
        }
    }

    if (raw->num_uv_sets) {
        mesh->uv_sets = (tsl_uv_set *)tsl__rig_alloc(rig, raw->num_uv_sets * sizeof(tsl_uv_set));
        if (!mesh->uv_sets) return 0;
        memset(mesh->uv_sets, 0, raw->num_uv_sets * sizeof(tsl_uv_set));
    }
    for (s = 0; s < raw->num_uv_sets; ++s) {
        const tsl__list *uvs = &raw->uv_sets[s], *ix;
        tsl_uv_set *set;
        if (s >= raw->num_uv_index_sets) {
            if (!tsl__warn(rig, warnings, TSL_WARN_UV_SETS_CUT, -1, file_index, (int32_t)s, 0)) return 0;
            break;
        }
        ix = &raw->uv_index_sets[s];
        set = &mesh->uv_sets[mesh->num_uv_sets++];
        if (uvs->count == 0 && tsl__all_below((const uint32_t *)ix->data, ix->count, 1)) continue; /* unmapped */
        if (ix->count < corners || !tsl__all_below((const uint32_t *)ix->data, ix->count, (uint32_t)(uvs->count / 2))) {
            if (!tsl__warn(rig, warnings, TSL_WARN_UV_SET_EMPTIED, -1, file_index, (int32_t)s, 0)) return 0;
            continue;
        }
        set->num_uvs = (uint32_t)(uvs->count / 2);
        set->uvs = (float *)uvs->data;
        set->indices = (uint32_t *)ix->data;
    }

    if (raw->material_block && !tsl__materials(rig, mesh, raw->material_block, raw->material_block_end)) return 0;
    if (raw->material_index_block && mesh->num_materials) {
        int got = tsl__material_indices(rig, mesh, raw->material_index_block, raw->material_index_block_end);
        if (!got) return 0;
        if (got == 2 && !tsl__warn(rig, warnings, TSL_WARN_MATERIALS_DROPPED, -1, file_index, -1, 0)) return 0;
    }

    if (raw->weights.count) {
        const uint32_t *wc = (const uint32_t *)raw->weight_counts.data;
        const uint32_t *pairs = (const uint32_t *)raw->weights.data;
        size_t num_pairs = raw->weights.count / 2, next = 0;
        uint64_t wanted = 0;
        for (i = 0; i < raw->weight_counts.count; ++i) wanted += wc[i];
        if (raw->weight_counts.count != mesh->num_vertices || wanted > num_pairs) {
            if (!tsl__warn(rig, warnings, TSL_WARN_SKIN_DROPPED, -1, file_index, -1, 0)) return 0;
        } else {
            uint32_t outside = 0, v;
            int32_t *slot = (int32_t *)tsl__rig_alloc(rig, (rig->num_bones ? rig->num_bones : 1) * sizeof(int32_t));
            mesh->weight_offsets = (uint32_t *)tsl__rig_alloc(rig, (mesh->num_vertices + 1) * sizeof(uint32_t));
            /* The runs are merged in place: a (bone, weight) pair of the file has the
             * layout of a tsl_weight, and no run is written past the pairs it reads. */
            mesh->weights = (tsl_weight *)raw->weights.data;
            if (!slot || !mesh->weight_offsets) return 0;
            for (i = 0; i < rig->num_bones; ++i) slot[i] = -1;
            for (v = 0; v < mesh->num_vertices; ++v) {
                uint32_t first = mesh->num_weights, j;
                mesh->weight_offsets[v] = first;
                for (j = 0; j < wc[v]; ++j, ++next) {
                    const uint32_t bone = pairs[2 * next];
                    float w;
                    memcpy(&w, &pairs[2 * next + 1], sizeof w);
                    if (bone >= rig->num_bones) {
                        ++outside;
                        continue;
                    }
                    if (!rig->bones[bone].name[0]) continue; /* no joint: dropped as the importer drops it */
                    if (slot[bone] >= (int32_t)first) {
                        mesh->weights[slot[bone]].weight += w;
                        continue;
                    }
                    slot[bone] = (int32_t)mesh->num_weights;
                    mesh->weights[mesh->num_weights].bone = bone;
                    mesh->weights[mesh->num_weights].weight = w;
                    ++mesh->num_weights;
                }
            }
            mesh->weight_offsets[mesh->num_vertices] = mesh->num_weights;
            tsl__rig_release(rig, slot);
            if (outside && !tsl__warn(rig, warnings, TSL_WARN_WEIGHTS_OUTSIDE, -1, file_index, -1, outside)) return 0;
            if (next < num_pairs &&
                !tsl__warn(rig, warnings, TSL_WARN_WEIGHTS_BEYOND, -1, file_index, -1, (uint32_t)(num_pairs - next)))
                return 0;
            if (mesh->num_weights == 0) {
                tsl__rig_release(rig, mesh->weight_offsets);
                mesh->weight_offsets = NULL;
                mesh->weights = NULL;
                if (!tsl__warn(rig, warnings, TSL_WARN_SKIN_DROPPED, -1, file_index, -1, 0)) return 0;
            } else {
                mesh->skinned = 1;
            }
        }
    }
    return 1;
}

static int tsl__build(tsl__reader *r) {
    tsl_rig *rig = r->rig;
    size_t warnings = 0;
    uint32_t i;
    if (r->discarded_bones && !tsl__warn(rig, &warnings, TSL_WARN_BONES_DISCARDED, -1, -1, -1, r->discarded_bones))
        return 0;
    if (r->discarded_meshes && !tsl__warn(rig, &warnings, TSL_WARN_MESHES_DISCARDED, -1, -1, -1, r->discarded_meshes))
        return 0;
    if (r->num_bones) {
        rig->bones = (tsl_bone *)tsl__rig_alloc(rig, r->num_bones * sizeof(tsl_bone));
        if (!rig->bones) return 0;
        memset(rig->bones, 0, r->num_bones * sizeof(tsl_bone));
        rig->num_bones = r->num_bones;
    }
    for (i = 0; i < r->num_bones; ++i) {
        tsl_bone *b = &rig->bones[i];
        if (!(b->name = tsl__string(rig, r->bones[i].name ? r->bones[i].name : "", r->bones[i].name_length))) return 0;
        b->parent = -1;
        memcpy(b->inv_bind, r->bones[i].m, sizeof b->inv_bind);
        b->bind_invertible = tsl__invert(b->inv_bind, b->bind);
        if (!r->bones[i].name_length && !tsl__warn(rig, &warnings, TSL_WARN_BONE_UNNAMED, (int32_t)i, -1, -1, 0))
            return 0;
    }
    if (rig->num_bones && !tsl__resolve_parents(rig, r->bones)) return 0;
    if (r->num_meshes) {
        rig->meshes = (tsl_mesh *)tsl__rig_alloc(rig, r->num_meshes * sizeof(tsl_mesh));
        if (!rig->meshes) return 0;
    }
    for (i = 0; i < r->num_meshes; ++i) {
        int got = tsl__build_mesh(rig, &warnings, &r->meshes[i], (int32_t)i, &rig->meshes[rig->num_meshes]);
        if (!got) return 0;
        if (got == 2) {
            if (!tsl__warn(rig, &warnings, TSL_WARN_MESH_SKIPPED, -1, (int32_t)i, -1, 0)) return 0;
            continue;
        }
        ++rig->num_meshes;
    }
    if (r->non_finite && !tsl__warn(rig, &warnings, TSL_WARN_NOT_FINITE, -1, -1, -1, 0)) return 0;
    return 1;
}

static void tsl__set_error(tsl_rig *rig, tsl_result type, const char *text, const char *at, int32_t bone,
                           int32_t mesh) {
    rig->error.type = type;
    rig->error.message = tsl_result_text(type);
    rig->error.bone = bone;
    rig->error.mesh = mesh;
    rig->error.offset = -1;
    rig->error.line = 0;
    if (text && at) {
        const char *p = text;
        uint32_t line = 1;
        rig->error.offset = (int64_t)(at - text);
        while ((p = (const char *)memchr(p, '\n', (size_t)(at - p))) != NULL) ++p, ++line;
        rig->error.line = line;
    }
}

void tsl_free(tsl_rig *rig) {
    tsl__block *b;
    if (!rig) return;
    b = (tsl__block *)rig->blocks_;
    while (b) {
        tsl__block *next = b->next;
        rig->allocator_.free(rig->allocator_.user, b);
        b = next;
    }
    rig->blocks_ = NULL;
    rig->bones = NULL;
    rig->meshes = NULL;
    rig->warnings = NULL;
    rig->num_bones = rig->num_meshes = rig->num_warnings = 0;
}

tsl_result tsl_parse(const void *data, size_t size, const tsl_options *options, tsl_rig *rig) {
    tsl__reader r;
    const char *text = (const char *)data;
    const char *zero;
    if (!rig) return TSL_ERROR_INVALID_ARGUMENT;
    memset(rig, 0, sizeof *rig);
    rig->allocator_ = tsl__allocator(options);
    rig->error.bone = rig->error.mesh = -1;
    rig->error.offset = -1;
    rig->error.message = tsl_result_text(TSL_OK);
    if (!data && size) {
        tsl__set_error(rig, TSL_ERROR_INVALID_ARGUMENT, NULL, NULL, -1, -1);
        return TSL_ERROR_INVALID_ARGUMENT;
    }
    if (!text) text = "";
    memset(&r, 0, sizeof r);
    r.rig = rig;
    r.text = text;
    r.end = text + size;
    r.bone = r.mesh = -1;
    r.nul_checked = text;
    if (!tsl__read_file(&r)) {
        /* A rig file is text: a zero byte anywhere is damage, whatever else the file
         * holds. Then a text that ends inside a block or quote, or nests too deeply, is
         * refused for that before any other rule, wherever the reading stopped. */
        tsl_result structure = r.fault == TSL_ERROR_OUT_OF_MEMORY ? TSL_OK : tsl__structure(text, text + size);
        tsl_result fault = r.fault;
        if (r.fault != TSL_ERROR_OUT_OF_MEMORY && (zero = (const char *)memchr(text, 0, size)) != NULL) {
            tsl_free(rig);
            tsl__set_error(rig, TSL_ERROR_NUL_BYTE, text, zero, -1, -1);
            return TSL_ERROR_NUL_BYTE;
        }
        if (structure == TSL_ERROR_ENDS_INSIDE) {
            fault = structure;
            r.fault_at = r.end;
        } else if (structure == TSL_ERROR_NESTED_TOO_DEEPLY) {
            fault = structure;
            r.fault_at = NULL;
        }
        tsl_free(rig);
        tsl__set_error(rig, fault, text, r.fault_at, r.bone, r.mesh);
        return fault;
    }
    if (!tsl__build(&r)) {
        tsl_free(rig);
        tsl__set_error(rig, TSL_ERROR_OUT_OF_MEMORY, NULL, NULL, -1, -1);
        return TSL_ERROR_OUT_OF_MEMORY;
    }
    /* The raw records are no longer needed; their lists now belong to the model. */
    tsl__rig_release(rig, r.bones);
    tsl__rig_release(rig, r.meshes);
    return TSL_OK;
}

/* ------------------------------------------------------------------ validation */

static int tsl__finite(const float *v, size_t n) {
    size_t i;
    for (i = 0; i < n; ++i)
        if (!(v[i] - v[i] == 0.0f)) return 0;
    return 1;
}

static tsl_result tsl__fault(tsl_rig *rig, tsl_result type, int32_t bone, int32_t mesh) {
    tsl__set_error(rig, type, NULL, NULL, bone, mesh);
    return type;
}

tsl_result tsl_validate(tsl_rig *rig) {
    uint32_t i, j, k;
    if (!rig) return TSL_ERROR_INVALID_ARGUMENT;
    for (i = 0; i < rig->num_bones; ++i) {
        const tsl_bone *b = &rig->bones[i];
        int32_t p = b->parent;
        if (p < -1 || p >= (int32_t)rig->num_bones || p == (int32_t)i)
            return tsl__fault(rig, TSL_ERROR_BAD_PARENT, (int32_t)i, -1);
        for (k = 0; p >= 0; ++k, p = rig->bones[p].parent)
            if (k > rig->num_bones) return tsl__fault(rig, TSL_ERROR_BAD_PARENT, (int32_t)i, -1);
        if (!tsl__finite(b->inv_bind, 16) || !tsl__finite(b->bind, 16))
            return tsl__fault(rig, TSL_ERROR_NOT_FINITE, (int32_t)i, -1);
    }
    for (i = 0; i < rig->num_meshes; ++i) {
        const tsl_mesh *m = &rig->meshes[i];
        int32_t at = m->file_index;
        uint64_t corners = 0;
        for (j = 0; j < m->num_polygons; ++j) {
            if (m->polygon_sizes[j] < 3 || m->polygon_starts[j] != corners)
                return tsl__fault(rig, TSL_ERROR_BAD_POLYGON, -1, at);
            corners += m->polygon_sizes[j];
        }
        if (corners != m->num_corners) return tsl__fault(rig, TSL_ERROR_BAD_POLYGON, -1, at);
        if (!tsl__all_below(m->corner_vertices, m->num_corners, m->num_vertices))
            return tsl__fault(rig, TSL_ERROR_INDEX_OUT_OF_RANGE, -1, at);
        if (m->normal_indices && !tsl__all_below(m->normal_indices, m->num_corners, m->num_normals))
            return tsl__fault(rig, TSL_ERROR_INDEX_OUT_OF_RANGE, -1, at);
        for (j = 0; j < m->num_uv_sets; ++j)
            if (m->uv_sets[j].indices && !tsl__all_below(m->uv_sets[j].indices, m->num_corners, m->uv_sets[j].num_uvs))
                return tsl__fault(rig, TSL_ERROR_INDEX_OUT_OF_RANGE, -1, at);
        if (m->polygon_materials && !tsl__all_below(m->polygon_materials, m->num_polygons, m->num_materials))
            return tsl__fault(rig, TSL_ERROR_INDEX_OUT_OF_RANGE, -1, at);
        if (m->skinned) {
            if (m->weight_offsets[0] != 0 || m->weight_offsets[m->num_vertices] != m->num_weights)
                return tsl__fault(rig, TSL_ERROR_BAD_WEIGHTS, -1, at);
            for (j = 0; j < m->num_vertices; ++j)
                if (m->weight_offsets[j] > m->weight_offsets[j + 1])
                    return tsl__fault(rig, TSL_ERROR_BAD_WEIGHTS, -1, at);
            for (j = 0; j < m->num_weights; ++j) {
                if (m->weights[j].bone >= rig->num_bones) return tsl__fault(rig, TSL_ERROR_BAD_WEIGHTS, -1, at);
                if (!tsl__finite(&m->weights[j].weight, 1)) return tsl__fault(rig, TSL_ERROR_NOT_FINITE, -1, at);
            }
        }
        if (!tsl__finite(m->positions, (size_t)m->num_vertices * 3) ||
            !tsl__finite(m->normals, (size_t)m->num_normals * 3))
            return tsl__fault(rig, TSL_ERROR_NOT_FINITE, -1, at);
        for (j = 0; j < m->num_uv_sets; ++j)
            if (!tsl__finite(m->uv_sets[j].uvs, (size_t)m->uv_sets[j].num_uvs * 2))
                return tsl__fault(rig, TSL_ERROR_NOT_FINITE, -1, at);
    }
    return TSL_OK;
}

void tsl_to_y_up(tsl_rig *rig) {
    uint32_t i, j;
    if (!rig) return;
    for (i = 0; i < rig->num_bones; ++i) {
        tsl_bone *b = &rig->bones[i];
        for (j = 0; j < 4; ++j) {
            float row1 = b->inv_bind[4 + j];
            b->inv_bind[4 + j] = b->inv_bind[8 + j];
            b->inv_bind[8 + j] = row1 * -1.0f;
        }
        b->bind_invertible = tsl__invert(b->inv_bind, b->bind);
    }
    for (i = 0; i < rig->num_meshes; ++i) {
        tsl_mesh *m = &rig->meshes[i];
        float *lists[2];
        size_t sizes[2], l, v;
        lists[0] = m->positions;
        sizes[0] = m->num_vertices;
        lists[1] = m->normals;
        sizes[1] = m->num_normals;
        for (l = 0; l < 2; ++l)
            for (v = 0; v < sizes[l]; ++v) {
                float *p = lists[l] + 3 * v, y = p[1];
                p[1] = p[2];
                p[2] = -0.0f - y;
            }
    }
    rig->y_up = !rig->y_up;
}

/* ------------------------------------------------------------------ triangles */

uint32_t tsl_triangle_count(const tsl_mesh *mesh) {
    uint32_t p, n = 0;
    for (p = 0; p < mesh->num_polygons; ++p) n += mesh->polygon_sizes[p] - 2;
    return n;
}

void tsl_triangulate(const tsl_mesh *mesh, uint32_t *triangle_corners, uint32_t *triangle_polygons) {
    uint32_t p, k, t = 0;
    for (p = 0; p < mesh->num_polygons; ++p) {
        uint32_t c0 = mesh->polygon_starts[p];
        for (k = 1; k + 1 < mesh->polygon_sizes[p]; ++k, ++t) {
            triangle_corners[3 * t] = c0;
            triangle_corners[3 * t + 1] = c0 + k;
            triangle_corners[3 * t + 2] = c0 + k + 1;
            if (triangle_polygons) triangle_polygons[t] = p;
        }
    }
}

/* ------------------------------------------------------------------ unique vertices */

static uint32_t tsl__mix(uint32_t h, float f) {
    uint32_t bits;
    f += 0.0f; /* -0 hashes as 0, as they compare equal */
    memcpy(&bits, &f, sizeof bits);
    h ^= bits;
    h *= 0x9E3779B1u;
    return h ^ (h >> 15);
}

static uint32_t tsl__corner_hash(const tsl_mesh *m, uint32_t c) {
    uint32_t v = m->corner_vertices[c], h = 0x811C9DC5u, s, w;
    h = tsl__mix(h, m->positions[3 * v]);
    h = tsl__mix(h, m->positions[3 * v + 1]);
    h = tsl__mix(h, m->positions[3 * v + 2]);
    if (m->normal_indices) {
        const float *n = m->normals + 3 * m->normal_indices[c];
        h = tsl__mix(tsl__mix(tsl__mix(h, n[0]), n[1]), n[2]);
    }
    for (s = 0; s < m->num_uv_sets; ++s)
        if (m->uv_sets[s].indices) {
            const float *uv = m->uv_sets[s].uvs + 2 * m->uv_sets[s].indices[c];
            h = tsl__mix(tsl__mix(h, uv[0]), uv[1]);
        }
    if (m->skinned)
        for (w = m->weight_offsets[v]; w < m->weight_offsets[v + 1]; ++w)
            h = tsl__mix(h ^ m->weights[w].bone, m->weights[w].weight);
    return h;
}

static int tsl__same_corner(const tsl_mesh *m, uint32_t a, uint32_t b) {
    uint32_t va = m->corner_vertices[a], vb = m->corner_vertices[b], s, k;
    if (va != vb) {
        for (k = 0; k < 3; ++k)
            if (!(m->positions[3 * va + k] == m->positions[3 * vb + k])) return 0;
        if (m->skinned) {
            uint32_t na = m->weight_offsets[va + 1] - m->weight_offsets[va];
            if (na != m->weight_offsets[vb + 1] - m->weight_offsets[vb]) return 0;
            for (k = 0; k < na; ++k) {
                const tsl_weight *x = &m->weights[m->weight_offsets[va] + k],
                                 *y = &m->weights[m->weight_offsets[vb] + k];
                if (x->bone != y->bone || !(x->weight == y->weight)) return 0;
            }
        }
    }
    if (m->normal_indices) {
        const float *x = m->normals + 3 * m->normal_indices[a], *y = m->normals + 3 * m->normal_indices[b];
        if (!(x[0] == y[0] && x[1] == y[1] && x[2] == y[2])) return 0;
    }
    for (s = 0; s < m->num_uv_sets; ++s)
        if (m->uv_sets[s].indices) {
            const float *x = m->uv_sets[s].uvs + 2 * m->uv_sets[s].indices[a];
            const float *y = m->uv_sets[s].uvs + 2 * m->uv_sets[s].indices[b];
            if (!(x[0] == y[0] && x[1] == y[1])) return 0;
        }
    return 1;
}

void tsl_free_vertex_table(tsl_vertex_table *table, const tsl_options *options) {
    tsl_allocator a = tsl__allocator(options);
    if (!table) return;
    if (table->corner_of_vertex) a.free(a.user, table->corner_of_vertex);
    if (table->vertex_of_corner) a.free(a.user, table->vertex_of_corner);
    memset(table, 0, sizeof *table);
}

tsl_result tsl_unique_vertices(const tsl_mesh *mesh, const tsl_options *options, tsl_vertex_table *table) {
    tsl_allocator a = tsl__allocator(options);
    uint32_t n, size = 16, c;
    uint32_t *slots;
    if (!mesh || !table) return TSL_ERROR_INVALID_ARGUMENT;
    memset(table, 0, sizeof *table);
    n = mesh->num_corners;
    while (size < 2 * (uint64_t)n) size *= 2;
    table->corner_of_vertex = (uint32_t *)a.alloc(a.user, (n ? n : 1) * sizeof(uint32_t));
    table->vertex_of_corner = (uint32_t *)a.alloc(a.user, (n ? n : 1) * sizeof(uint32_t));
    slots = (uint32_t *)a.alloc(a.user, size * sizeof(uint32_t));
    if (!table->corner_of_vertex || !table->vertex_of_corner || !slots) {
        if (slots) a.free(a.user, slots);
        tsl_free_vertex_table(table, options);
        return TSL_ERROR_OUT_OF_MEMORY;
    }
    memset(slots, 0xFF, size * sizeof(uint32_t));
    for (c = 0; c < n; ++c) {
        uint32_t h = tsl__corner_hash(mesh, c) & (size - 1);
        for (;;) {
            uint32_t v = slots[h];
            if (v == 0xFFFFFFFFu) {
                slots[h] = table->num_vertices;
                table->corner_of_vertex[table->num_vertices] = c;
                table->vertex_of_corner[c] = table->num_vertices++;
                break;
            }
            if (tsl__same_corner(mesh, table->corner_of_vertex[v], c)) {
                table->vertex_of_corner[c] = v;
                break;
            }
            h = (h + 1) & (size - 1);
        }
    }
    a.free(a.user, slots);
    return TSL_OK;
}

tsl_result tsl_triangle_indices(const tsl_mesh *mesh, const tsl_vertex_table *table, void *out, int index_size) {
    uint32_t p, k, t = 0;
    if (!mesh || !table || !out || (index_size != 2 && index_size != 4)) return TSL_ERROR_INVALID_ARGUMENT;
    if (index_size == 2 && table->num_vertices > 65536) return TSL_ERROR_INDEX_TOO_LARGE;
    for (p = 0; p < mesh->num_polygons; ++p) {
        uint32_t c0 = mesh->polygon_starts[p];
        for (k = 1; k + 1 < mesh->polygon_sizes[p]; ++k, ++t) {
            uint32_t v[3], i;
            v[0] = table->vertex_of_corner[c0];
            v[1] = table->vertex_of_corner[c0 + k];
            v[2] = table->vertex_of_corner[c0 + k + 1];
            for (i = 0; i < 3; ++i) {
                if (index_size == 2)
                    ((uint16_t *)out)[3 * t + i] = (uint16_t)v[i];
                else
                    ((uint32_t *)out)[3 * t + i] = v[i];
            }
        }
    }
    return TSL_OK;
}

/* ------------------------------------------------------------------ skin fitting */

/* p (a row vector, w = 1) times the 4x4 matrix m. */
static void tsl__transform(const double *p, const double *m, double *out) {
    int c;
    for (c = 0; c < 3; ++c) out[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c];
}

static void tsl__multiply(const double *a, const double *b, double *out) {
    int r, c;
    for (r = 0; r < 4; ++r)
        for (c = 0; c < 4; ++c)
            out[4 * r + c] =
                a[4 * r] * b[c] + a[4 * r + 1] * b[4 + c] + a[4 * r + 2] * b[8 + c] + a[4 * r + 3] * b[12 + c];
}

/* The skinning matrices of the two poses, bone by bone: inv_bind times the bind world
 * matrix, and inv_bind times the test pose's world matrix (the bone turned about its own
 * axis, at its head, before its bind matrix). */
static void tsl__pose_matrices(const tsl_bone *bone, uint32_t index, double *at_bind, double *at_pose) {
    double inv[16], bind[16], turn[16], posed[16];
    double angle = 0.5, c = cos(angle), s = sin(angle);
    int i, a = (int)(index % 3), u = (a + 1) % 3, v = (a + 2) % 3;
    for (i = 0; i < 16; ++i) {
        inv[i] = bone->inv_bind[i];
        bind[i] = bone->bind[i];
        turn[i] = (i % 5 == 0) ? 1.0 : 0.0;
    }
    turn[4 * u + u] = c;
    turn[4 * u + v] = s;
    turn[4 * v + u] = -s;
    turn[4 * v + v] = c;
    tsl__multiply(inv, bind, at_bind);
    tsl__multiply(turn, bind, posed);
    tsl__multiply(inv, posed, at_pose);
}

void tsl_free_skin_fit(tsl_skin_fit *fit, const tsl_options *options) {
    tsl_allocator a = tsl__allocator(options);
    if (!fit) return;
    if (fit->bones) a.free(a.user, fit->bones);
    if (fit->weights) a.free(a.user, fit->weights);
    memset(fit, 0, sizeof *fit);
}

float tsl_fit_weight(const tsl_skin_fit *fit, uint32_t vertex, uint32_t slot) {
    float scale = fit->weight_bits == 8 ? 255.0f : 65535.0f;
    return (float)fit->weights[(size_t)vertex * fit->max_influences + slot] / scale;
}

tsl_result tsl_fit_skin(const tsl_rig *rig, const tsl_mesh *mesh, uint32_t max_influences, uint32_t weight_bits,
                        const tsl_options *options, tsl_skin_fit *fit, tsl_loss_report *report) {
    tsl_allocator a = tsl__allocator(options);
    uint32_t v, n, units;
    double *matrices = NULL;
    size_t slots;
    struct tsl__entry {
        uint32_t bone;
        double weight;
        double remainder;
        uint32_t units;
    } *entries = NULL;
    uint32_t most = 1;
    if (!rig || !mesh || !fit || !report || max_influences == 0 || max_influences > 64 ||
        (weight_bits != 8 && weight_bits != 16))
        return TSL_ERROR_INVALID_ARGUMENT;
    /* The fit stores bone indices in 16 bits. */
    if (rig->num_bones > 65536) return TSL_ERROR_INDEX_TOO_LARGE;
    memset(fit, 0, sizeof *fit);
    memset(report, 0, sizeof *report);
    report->worst_pose_vertex = -1;
    n = mesh->num_vertices;
    units = weight_bits == 8 ? 255u : 65535u;
    fit->num_vertices = n;
    fit->max_influences = max_influences;
    fit->weight_bits = weight_bits;
    report->vertices = n;
    slots = (size_t)n * max_influences;
    fit->bones = (uint16_t *)a.alloc(a.user, (slots ? slots : 1) * sizeof(uint16_t));
    fit->weights = (uint16_t *)a.alloc(a.user, (slots ? slots : 1) * sizeof(uint16_t));
    if (mesh->skinned)
        for (v = 0; v < n; ++v)
            if (mesh->weight_offsets[v + 1] - mesh->weight_offsets[v] > most)
                most = mesh->weight_offsets[v + 1] - mesh->weight_offsets[v];
    entries = (struct tsl__entry *)a.alloc(a.user, most * sizeof *entries);
    matrices = (double *)a.alloc(a.user, (rig->num_bones ? rig->num_bones : 1) * 32 * sizeof(double));
    if (!fit->bones || !fit->weights || !entries || !matrices) {
        if (entries) a.free(a.user, entries);
        if (matrices) a.free(a.user, matrices);
        tsl_free_skin_fit(fit, options);
        return TSL_ERROR_OUT_OF_MEMORY;
    }
    if (slots) {
        memset(fit->bones, 0, slots * sizeof(uint16_t));
        memset(fit->weights, 0, slots * sizeof(uint16_t));
    }
    for (v = 0; v < rig->num_bones; ++v)
        tsl__pose_matrices(&rig->bones[v], v, matrices + 32 * v, matrices + 32 * v + 16);

    for (v = 0; v < n; ++v) {
        uint32_t first = mesh->skinned ? mesh->weight_offsets[v] : 0;
        uint32_t count = mesh->skinned ? mesh->weight_offsets[v + 1] - first : 0;
        uint32_t kept = 0, i, j, given = 0, dropped = 0;
        double sum = 0.0, p[3], before[2][3] = {{0, 0, 0}, {0, 0, 0}}, after[2][3] = {{0, 0, 0}, {0, 0, 0}};
        int touched = 0;
        p[0] = mesh->positions[3 * v];
        p[1] = mesh->positions[3 * v + 1];
        p[2] = mesh->positions[3 * v + 2];
        /* Positive weights, largest first (ties: lower bone first), by insertion. */
        for (i = 0; i < count; ++i) {
            const tsl_weight *w = &mesh->weights[first + i];
            int pose;
            for (pose = 0; pose < 2; ++pose) {
                double q[3];
                tsl__transform(p, matrices + 32 * w->bone + 16 * pose, q);
                for (j = 0; j < 3; ++j) before[pose][j] += w->weight * q[j];
            }
            if (!(w->weight > 0.0f)) {
                ++dropped;
                if (-w->weight > report->largest_weight_dropped) report->largest_weight_dropped = -w->weight;
                continue;
            }
            for (j = kept; j > 0 && (entries[j - 1].weight < w->weight ||
                                     (entries[j - 1].weight == w->weight && entries[j - 1].bone > w->bone));
                 --j)
                entries[j] = entries[j - 1];
            entries[j].bone = w->bone;
            entries[j].weight = w->weight;
            ++kept;
        }
        for (i = max_influences; i < kept; ++i) {
            ++dropped;
            if ((float)entries[i].weight > report->largest_weight_dropped)
                report->largest_weight_dropped = (float)entries[i].weight;
        }
        if (kept > max_influences) kept = max_influences;
        if (kept == 0) {
            ++report->vertices_unweighted;
        } else {
            /* Largest remainder: floors first, then the units left to the largest
             * fractions (ties to the larger weight), so the sum is exact and the order
             * stays non-increasing. */
            for (i = 0; i < kept; ++i) sum += entries[i].weight;
            for (i = 0; i < kept; ++i) {
                double share = entries[i].weight / sum * units;
                entries[i].units = (uint32_t)floor(share);
                if (entries[i].units > units) entries[i].units = units;
                entries[i].remainder = share - entries[i].units;
                given += entries[i].units;
            }
            while (given < units) {
                uint32_t best = 0;
                for (i = 1; i < kept; ++i)
                    if (entries[i].remainder > entries[best].remainder) best = i;
                ++entries[best].units;
                entries[best].remainder = -1.0;
                ++given;
            }
            for (i = 0; i < kept; ++i) {
                double fitted = (double)entries[i].units / units;
                size_t s = (size_t)v * max_influences + i;
                fit->bones[s] = (uint16_t)entries[i].bone;
                fit->weights[s] = (uint16_t)entries[i].units;
                if (fabs(fitted - entries[i].weight) > 1.0 / units) touched = 1;
                {
                    int pose;
                    for (pose = 0; pose < 2; ++pose) {
                        double q[3];
                        tsl__transform(p, matrices + 32 * entries[i].bone + 16 * pose, q);
                        for (j = 0; j < 3; ++j) after[pose][j] += fitted * q[j];
                    }
                }
            }
        }
        if (dropped) touched = 1;
        report->influences_dropped += dropped;
        if (touched) ++report->vertices_touched;
        {
            int pose;
            for (pose = 0; pose < 2; ++pose) {
                double d = sqrt((before[pose][0] - after[pose][0]) * (before[pose][0] - after[pose][0]) +
                                (before[pose][1] - after[pose][1]) * (before[pose][1] - after[pose][1]) +
                                (before[pose][2] - after[pose][2]) * (before[pose][2] - after[pose][2]));
                if (pose == 0 && d > report->largest_bind_change) report->largest_bind_change = tsl__to_float(d);
                if (pose == 1 && d > report->largest_pose_change) {
                    report->largest_pose_change = tsl__to_float(d);
                    report->worst_pose_vertex = (int32_t)v;
                }
            }
        }
    }
    a.free(a.user, entries);
    a.free(a.user, matrices);
    return TSL_OK;
}

/* ------------------------------------------------------------------ split by bone budget */

void tsl_free_split(tsl_split *split, const tsl_options *options) {
    tsl_allocator a = tsl__allocator(options);
    uint32_t i;
    if (!split) return;
    for (i = 0; i < split->num_parts; ++i)
        if (split->parts[i].bones) a.free(a.user, split->parts[i].bones);
    if (split->parts) a.free(a.user, split->parts);
    memset(split, 0, sizeof *split);
}

tsl_result tsl_split_by_bones(const tsl_mesh *mesh, const tsl_skin_fit *fit, uint32_t max_bones,
                              const tsl_options *options, tsl_split *split) {
    tsl_allocator a = tsl__allocator(options);
    uint32_t t, p, k, capacity = 0, used = 0;
    uint16_t *palette, candidate[3 * 64];
    uint32_t num_candidates;
    tsl_part *part = NULL;
    if (!mesh || !fit || !split || max_bones == 0 || fit->num_vertices != mesh->num_vertices)
        return TSL_ERROR_INVALID_ARGUMENT;
    memset(split, 0, sizeof *split);
    palette = (uint16_t *)a.alloc(a.user, max_bones * sizeof(uint16_t));
    if (!palette) return TSL_ERROR_OUT_OF_MEMORY;
    t = 0;
    for (p = 0; p < mesh->num_polygons; ++p) {
        uint32_t c0 = mesh->polygon_starts[p];
        for (k = 1; k + 1 < mesh->polygon_sizes[p]; ++k, ++t) {
            uint32_t corners[3], i, j, s, fresh = 0;
            corners[0] = c0;
            corners[1] = c0 + k;
            corners[2] = c0 + k + 1;
            /* The triangle's bones that the current palette lacks, each once. */
            num_candidates = 0;
            for (i = 0; i < 3; ++i) {
                uint32_t v = mesh->corner_vertices[corners[i]];
                for (s = 0; s < fit->max_influences; ++s) {
                    size_t at = (size_t)v * fit->max_influences + s;
                    uint16_t bone = fit->bones[at];
                    int known = 0;
                    if (!fit->weights[at]) continue;
                    for (j = 0; j < num_candidates && !known; ++j) known = candidate[j] == bone;
                    if (!known) candidate[num_candidates++] = bone;
                }
            }
            if (num_candidates > max_bones) {
                tsl_free_split(split, options);
                a.free(a.user, palette);
                return TSL_ERROR_BONE_BUDGET;
            }
            if (part) {
                for (i = 0; i < num_candidates; ++i) {
                    int known = 0;
                    for (j = 0; j < used && !known; ++j) known = palette[j] == candidate[i];
                    if (!known) ++fresh;
                }
            }
            if (!part || used + fresh > max_bones) {
                if (part) {
                    part->bones = (uint16_t *)a.alloc(a.user, (used ? used : 1) * sizeof(uint16_t));
                    if (!part->bones) goto out_of_memory;
                    memcpy(part->bones, palette, used * sizeof(uint16_t));
                    part->num_bones = used;
                }
                if (split->num_parts == capacity) {
                    uint32_t grown = capacity ? capacity * 2 : 4;
                    tsl_part *more = (tsl_part *)a.alloc(a.user, grown * sizeof(tsl_part));
                    if (!more) goto out_of_memory;
                    if (split->num_parts) memcpy(more, split->parts, split->num_parts * sizeof(tsl_part));
                    if (split->parts) a.free(a.user, split->parts);
                    split->parts = more;
                    capacity = grown;
                }
                part = &split->parts[split->num_parts++];
                memset(part, 0, sizeof *part);
                part->first_triangle = t;
                used = 0;
            }
            for (i = 0; i < num_candidates; ++i) {
                int known = 0;
                for (j = 0; j < used && !known; ++j) known = palette[j] == candidate[i];
                if (!known) palette[used++] = candidate[i];
            }
            ++part->num_triangles;
        }
    }
    if (part) {
        part->bones = (uint16_t *)a.alloc(a.user, (used ? used : 1) * sizeof(uint16_t));
        if (!part->bones) goto out_of_memory;
        memcpy(part->bones, palette, used * sizeof(uint16_t));
        part->num_bones = used;
    }
    a.free(a.user, palette);
    return TSL_OK;
out_of_memory:
    if (part && !part->bones) part->num_bones = 0;
    tsl_free_split(split, options);
    a.free(a.user, palette);
    return TSL_ERROR_OUT_OF_MEMORY;
}

#endif /* TSL_IMPLEMENTATION_DONE */
#endif /* TSL_IMPLEMENTATION */
