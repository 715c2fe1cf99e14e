#!/usr/bin/env python3
"""Writes the synthetic sample data served by korvanelle-server.

    scripts/make-sample-data.py [OUTPUT_DIR]      (default: examples/data next to this script)

Layout: patients/<HISID>.xml (code page 936 markup), thumbs/<name>.png, images/<name>.png.
Everything is made from a fixed seed, so running the script again gives identical files.
Only the standard library is used: PNGs are written by hand with zlib and struct.
"""

import os
import random
import shutil
import struct
import sys
import zlib

SEED = 20240611
THUMB_SIZE = (64, 48)
# Images this wide and high with strong noise stay above 200 KB once compressed, so they
# travel in several chunks.
LARGE_SIZE = (640, 480)
SMALL_SIZE = (240, 180)

PATIENTS = [
    {
        "id": "P10001", "name": "张伟", "sex": "男", "age": "56", "ward": "心内科 3病区",
        "modalities": [
            ("CT", [
                ("头颅平扫 2023-03-14", [
                    ("检查部位", "头颅"),
                    ("检查所见", "右侧基底节区见小片状低密度影 &lt; 1cm，边界清"),
                    ("诊断意见", "腔隙性脑梗死 &amp; 脑白质变性"),
                ], 2, True),
                ("胸部增强 2023-03-20", [
                    ("检查部位", "胸部"),
                    ("检查所见", "右肺上叶结节，&quot;磨玻璃&quot;样"),
                    ("诊断意见", "建议 3 个月后复查"),
                ], 1, False),
            ]),
            ("MR", [
                ("颅脑 MRI 2023-03-16", [
                    ("序列", "T1WI&amp;T2WI&amp;FLAIR"),
                    ("诊断意见", "&#x4E2D;线结构居中，&#65;级"),
                ], 1, True),
            ]),
            ("DX", [
                ("胸部正位 2023-03-10", [
                    ("检查所见", "心影稍大"),
                ], 1, False),
            ]),
        ],
    },
    {
        "id": "P10002", "name": "李娜", "sex": "女", "age": "34", "ward": "妇产科 2病区",
        "modalities": [
            ("US", [
                ("产科超声 2023-05-02", [
                    ("孕周", "24 周"),
                    ("检查所见", "胎心 142 次/分 &amp; 羊水量正常"),
                ], 2, False),
            ]),
            ("MR", [
                ("盆腔 MRI 2023-05-09", [
                    ("诊断意见", "子宫肌瘤 &lt;2cm"),
                ], 1, False),
            ]),
        ],
    },
    {
        "id": "P10003", "name": "王芳", "sex": "女", "age": "71", "ward": "骨科 1病区",
        "modalities": [
            ("DX", [
                ("右髋关节正侧位 2023-07-21", [
                    ("检查所见", "右股骨颈骨折，断端移位"),
                    ("诊断意见", "&quot;右股骨颈骨折&quot; Garden &#x49;&#x56; 型"),
                ], 2, True),
            ]),
            ("CT", [
                ("髋关节三维重建 2023-07-22", [
                    ("检查部位", "髋关节"),
                ], 1, False),
            ]),
        ],
    },
    {
        "id": "P10004", "name": "刘洋", "sex": "男", "age": "45", "ward": "消化内科",
        "modalities": [
            ("US", [
                ("腹部超声 2023-09-03", [
                    ("检查所见", "肝脏回声增粗 &amp; 胆囊壁毛糙"),
                    ("诊断意见", "脂肪肝（轻度）"),
                ], 1, False),
            ]),
            ("CT", [
                ("上腹部增强 2023-09-08", [
                    ("诊断意见", "胰腺未见异常 &lt;正常&gt;"),
                ], 1, False),
            ]),
        ],
    },
    {
        "id": "P10005", "name": "陈静", "sex": "女", "age": "29", "ward": "急诊科",
        "modalities": [
            ("DX", [
                ("左腕关节正侧位 2023-11-30", [
                    ("检查所见", "左桡骨远端骨皮质连续"),
                    ("诊断意见", "未见明显骨折"),
                ], 1, False),
            ]),
        ],
    },
]


def png(width, height, pixels):
    """An 8-bit greyscale PNG from rows of byte values."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(row) for row in pixels)
    header = struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def phantom(width, height, rng, noise):
    """A round body with a few bright and dark spots, plus noise of the given amplitude."""
    cx, cy = width / 2, height / 2
    rx, ry = width * 0.42, height * 0.42
    spots = [(rng.uniform(0.3, 0.7) * width, rng.uniform(0.3, 0.7) * height,
              rng.uniform(0.04, 0.12) * width, rng.choice((60, 200))) for _ in range(4)]
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            inside = ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0
            value = 110 if inside else 10
            for sx, sy, r, level in spots:
                if inside and (x - sx) ** 2 + (y - sy) ** 2 <= r * r:
                    value = level
            value += rng.randint(-noise, noise)
            row.append(max(0, min(255, value)))
        rows.append(row)
    return rows


def image_name(patient, modality, study_index, image_index):
    return "%s_%s_%d_%d.png" % (patient["id"], modality, study_index + 1, image_index + 1)


def markup(patient):
    lines = [
        '<?xml version="1.0" encoding="GB2312"?>',
        "<ROOT>",
        '  <Patient Name="%s" ID="%s">' % (patient["name"], patient["id"]),
        "    <Fields>",
        "      <Text>",
        '        <Field FieldName="姓名" FieldValue="%s"/>' % patient["name"],
        '        <Field FieldName="性别" FieldValue="%s"/>' % patient["sex"],
        '        <Field FieldName="年龄" FieldValue="%s"/>' % patient["age"],
        '        <Field FieldName="病区" FieldValue="%s"/>' % patient["ward"],
        "      </Text>",
        "    </Fields>",
    ]
    for modality, studies in patient["modalities"]:
        lines.append('    <Modality Name="%s">' % modality)
        for s, (study, texts, images, _large) in enumerate(studies):
            lines += ['      <Study Name="%s">' % study, "        <Fields>", "          <Text>"]
            lines += ['            <Field FieldName="%s" FieldValue="%s"/>' % field for field in texts]
            lines += ["          </Text>", "          <Image>"]
            lines += ['            <Field FieldName="图像%d" FieldValue="%s"/>' % (i + 1, image_name(patient, modality, s, i))
                      for i in range(images)]
            lines += ["          </Image>", "        </Fields>", "      </Study>"]
        lines.append("    </Modality>")
    lines += ["  </Patient>", "</ROOT>", ""]
    return "\r\n".join(lines).encode("gbk")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "examples", "data")
    for sub in ("patients", "thumbs", "images"):
        shutil.rmtree(os.path.join(out, sub), ignore_errors=True)
        os.makedirs(os.path.join(out, sub))
    rng = random.Random(SEED)
    for patient in PATIENTS:
        with open(os.path.join(out, "patients", patient["id"] + ".xml"), "wb") as f:
            f.write(markup(patient))
        for modality, studies in patient["modalities"]:
            for s, (_study, _texts, images, large) in enumerate(studies):
                for i in range(images):
                    name = image_name(patient, modality, s, i)
                    # The first image of a "large" study is the big, noisy one.
                    big = large and i == 0
                    width, height = LARGE_SIZE if big else SMALL_SIZE
                    with open(os.path.join(out, "images", name), "wb") as f:
                        f.write(png(width, height, phantom(width, height, rng, 127 if big else 12)))
                    with open(os.path.join(out, "thumbs", name), "wb") as f:
                        f.write(png(THUMB_SIZE[0], THUMB_SIZE[1], phantom(THUMB_SIZE[0], THUMB_SIZE[1], rng, 6)))
    print("sample data written to", os.path.normpath(out))


if __name__ == "__main__":
    main()
