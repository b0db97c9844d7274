#!/usr/bin/env python3
"""Writes the ZIP fixtures of the archive-stream tests with Python's zipfile and the
zip tool. Run from this folder; the output is committed, so tests need neither."""
import io
import os
import subprocess
import zipfile


def rig_text(lines):
    out = []
    for i in range(lines):
        out.append('bone "joint%d" "joint%d" { %.4f %.4f %.4f }\r\n' % (i, i // 2, i * 0.25, -i * 0.5, 1.0))
    return ''.join(out).encode()


def fixed_time(info):
    info.date_time = (2020, 1, 2, 3, 4, 6)
    return info


def write(name, entries, comment=b''):
    with zipfile.ZipFile(name, 'w') as archive:
        for entry, data, method in entries:
            info = fixed_time(zipfile.ZipInfo(entry))
            info.compress_type = method
            archive.writestr(info, data)
        archive.comment = comment


def archive_bytes(entries):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, 'w') as archive:
        for entry, data, method in entries:
            info = fixed_time(zipfile.ZipInfo(entry))
            info.compress_type = method
            archive.writestr(info, data)
    return buffer.getvalue()


STORED, DEFLATED = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED

write('stored.zip', [('rig.tsl', b'stored rig\r\n', STORED),
                     ('dir/sub.tsl', b'in a folder\r\n', STORED)])
write('deflated.zip', [('rig.tsl', rig_text(400), DEFLATED),
                       ('empty.tsl', b'', DEFLATED),
                       ('small.tsl', b'tiny', DEFLATED)])
write('comment.zip', [('rig.tsl', b'behind a comment\r\n', DEFLATED)],
      comment=b'PK archive comment ' * 50)
deeper = archive_bytes([('leaf.tsl', b'three levels down\r\n', DEFLATED)])
inner = archive_bytes([('rig.tsl', rig_text(50), DEFLATED),
                       ('more/deeper.zip', deeper, STORED)])
write('nested.zip', [('packs/inner.zip', inner, DEFLATED),
                     ('top.tsl', b'top level\r\n', STORED)])

# Two central-directory records named rig.tsl; the later one must win.
import warnings
with warnings.catch_warnings():
    warnings.simplefilter('ignore')
    write('duplicate.zip', [('rig.tsl', b'first copy\r\n', STORED),
                            ('other.tsl', b'other\r\n', DEFLATED),
                            ('rig.tsl', b'second copy\r\n', DEFLATED)])

write('bzip2.zip', [('rig.tsl', rig_text(20), zipfile.ZIP_BZIP2)])

# The zip tool writing to a pipe uses data descriptors: the local header carries no
# sizes, only the central directory does. The entry is named "-".
with open('streamed.zip', 'wb') as out:
    subprocess.run(['zip', '-q', '-X', '-', '-'], input=rig_text(100), stdout=out, check=True)
