#!/usr/bin/env python3
"""Writes the expression catalogue expression/expcfg.xml and its prototype pictures.

Every prototype is a formula that the controller's expression components compute (inputs
x1..xN; operators + - * / % < <= > >= == != && || !; functions abs min max sqrt sin cos floor
pow). Its picture shows sample input waveforms and the output the formula makes of them, one
lane each, output last in red: the catalogue names it in the attribute "关联波形". Pictures are
8-bit run-length compressed Windows bitmaps, written with the standard library only.

Run from the repository root after changing the table:  python3 scripts/gen-expression-pictures.py
"""
import math
import os
import struct
import sys
from xml.sax.saxutils import escape, quoteattr

W, H = 240, 160
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
OUT = os.path.join(ROOT, "expression")


# Sample inputs over t in [0, 1).
def sine(periods=2.0, amp=1.0, offset=0.0):
    return lambda t: offset + amp * math.sin(2 * math.pi * periods * t)


def tri(periods=1.0, amp=1.0, offset=0.0):
    return lambda t: offset + amp * (4 * abs(periods * t - math.floor(periods * t + 0.5)) - 1)


def square(periods=2.0, phase=0.0):
    return lambda t: 1.0 if ((periods * t + phase) % 1.0) < 0.5 else 0.0


def const(v):
    return lambda t: v


def ramp(a, b):
    return lambda t: a + (b - a) * t


def logic(v):
    return 1.0 if v else 0.0


def fmod_c(a, b):  # C's fmod: the sign of the dividend
    return math.fmod(a, b) if b != 0 else 0.0


# category, [(name, expression, picture file, description, inputs, function)]
CATALOGUE = [
    ("算术运算", [
        ("加法", "x1+x2", "add", "两路输入相加：输出 = x1 + x2。\n例：x1 接计数值，x2 接偏移常量，得到带偏移的计数。",
         [sine(), const(0.5)], lambda a, b: a + b),
        ("减法", "x1-x2", "sub", "第一路减去第二路：输出 = x1 - x2。\n常用于求两路信号的差值或误差。",
         [sine(), tri()], lambda a, b: a - b),
        ("乘法", "x1*x2", "mul", "两路输入相乘：输出 = x1 × x2。\nx2 接开关量（0/1）时相当于门控：为 0 时输出 0。",
         [sine(3), square(1)], lambda a, b: a * b),
        ("除法", "x1/x2", "div", "第一路除以第二路：输出 = x1 ÷ x2。\n除数为 0 时结果无意义，请保证 x2 不为 0。",
         [sine(2, 1, 0), const(2)], lambda a, b: a / b if b else 0.0),
        ("取余", "x1%x2", "mod", "第一路除以第二路的余数：输出 = x1 % x2。\n例：计数值对 4 取余，得到 0、1、2、3 循环。",
         [ramp(0, 10), const(4)], fmod_c),
        ("平均值", "(x1+x2)/2", "avg", "两路输入的算术平均：输出 = (x1 + x2) / 2。",
         [sine(), tri()], lambda a, b: (a + b) / 2),
        ("加权叠加", "x1*2+x2", "weighted", "第一路乘 2 后与第二路相加：输出 = x1 × 2 + x2。\n演示工程用它把计数值放大后叠加到正弦波上。",
         [ramp(0, 3), sine(2, 0.5)], lambda a, b: a * 2 + b),
        ("比例偏移", "x1*0.5+1", "scale", "单路输入的线性变换：输出 = x1 × 0.5 + 1。\n修改表达式中的系数即可得到任意的比例和偏移。",
         [sine()], lambda a: a * 0.5 + 1),
    ]),
    ("比较运算", [
        ("大于", "x1>x2", "gt", "x1 大于 x2 时输出 1，否则输出 0。\n例：x2 接门限常量，得到超限信号。",
         [sine(), const(0.3)], lambda a, b: logic(a > b)),
        ("小于", "x1<x2", "lt", "x1 小于 x2 时输出 1，否则输出 0。",
         [sine(), const(-0.3)], lambda a, b: logic(a < b)),
        ("大于等于", "x1>=x2", "ge", "x1 大于或等于 x2 时输出 1，否则输出 0。",
         [tri(2), const(0)], lambda a, b: logic(a >= b)),
        ("等于", "x1==x2", "eq", "x1 与 x2 相等时输出 1，否则输出 0。\n适合比较整数计数值，实数请用区间判断。",
         [lambda t: float(math.floor(t * 8) % 4), const(2)], lambda a, b: logic(a == b)),
        ("不等于", "x1!=x2", "ne", "x1 与 x2 不相等时输出 1，否则输出 0。",
         [lambda t: float(math.floor(t * 8) % 4), const(2)], lambda a, b: logic(a != b)),
        ("区间判断", "x1>=x2&&x1<=x3", "range", "x1 落在 [x2, x3] 区间内时输出 1，否则输出 0。\nx2 为下限，x3 为上限。",
         [sine(), const(-0.5), const(0.5)], lambda a, b, c: logic(b <= a <= c)),
    ]),
    ("逻辑运算", [
        ("逻辑与", "x1&&x2", "and", "两路都不为 0 时输出 1，否则输出 0。",
         [square(2), square(1, 0.25)], lambda a, b: logic(a and b)),
        ("逻辑或", "x1||x2", "or", "任一路不为 0 时输出 1，两路都为 0 时输出 0。",
         [square(2), square(1, 0.25)], lambda a, b: logic(a or b)),
        ("逻辑非", "!x1", "not", "输入为 0 时输出 1，输入不为 0 时输出 0。",
         [square(2)], lambda a: logic(not a)),
        ("逻辑异或", "(x1||x2)&&!(x1&&x2)", "xor", "两路中恰好一路不为 0 时输出 1，否则输出 0。",
         [square(2), square(1, 0.25)], lambda a, b: logic((a or b) and not (a and b))),
        ("三路与", "x1&&x2&&x3", "and3", "三路都不为 0 时输出 1，否则输出 0。\n例：三个使能条件同时满足才输出。",
         [square(4), square(2), square(1, 0.25)], lambda a, b, c: logic(a and b and c)),
    ]),
    ("数学函数", [
        ("绝对值", "abs(x1)", "abs", "输出输入的绝对值：输出 = |x1|，即全波整流。",
         [sine()], abs),
        ("最大值", "max(x1,x2)", "max", "输出两路中较大的一路。",
         [sine(), tri()], max),
        ("最小值", "min(x1,x2)", "min", "输出两路中较小的一路。",
         [sine(), tri()], min),
        ("平方根", "sqrt(x1)", "sqrt", "输出输入的平方根：输出 = √x1，输入应不小于 0。",
         [ramp(0, 16)], lambda a: math.sqrt(max(a, 0))),
        ("正弦", "sin(x1)", "sin", "输出输入（弧度）的正弦值，范围 -1 到 1。\n输入接线性增长的计数即可得到正弦波。",
         [ramp(0, 4 * math.pi)], math.sin),
        ("余弦", "cos(x1)", "cos", "输出输入（弧度）的余弦值，范围 -1 到 1。",
         [ramp(0, 4 * math.pi)], math.cos),
        ("向下取整", "floor(x1)", "floor", "输出不大于输入的最大整数，得到阶梯波。",
         [ramp(0, 5)], math.floor),
        ("乘方", "pow(x1,x2)", "pow", "输出 x1 的 x2 次方：输出 = x1^x2。\n例：x2 接常量 2 得到平方。",
         [ramp(0, 3), const(2)], lambda a, b: a ** b),
        ("限幅", "min(max(x1,x2),x3)", "clamp", "把 x1 限制在 [x2, x3] 之间：低于下限输出 x2，高于上限输出 x3。",
         [sine(2, 1.5), const(-1), const(1)], lambda a, b, c: min(max(a, b), c)),
    ]),
]

INPUT_COLOURS = [(0, 90, 200), (0, 140, 60), (200, 120, 0)]
OUTPUT_COLOUR = (210, 0, 0)


def picture(inputs, fn):
    px = [[(255, 255, 255)] * W for _ in range(H)]

    def put(x, y, c):
        if 0 <= x < W and 0 <= y < H:
            px[y][x] = c

    def line(x0, y0, x1, y1, c, thick=False):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            x = round(x0 + (x1 - x0) * i / steps)
            y = round(y0 + (y1 - y0) * i / steps)
            put(x, y, c)
            if thick:
                put(x, y + 1, c)

    lanes = len(inputs) + 1
    lane_h = H // lanes
    xs = [i / W for i in range(W)]
    series = [[f(t) for t in xs] for f in inputs]
    series.append([float(fn(*[s[i] for s in series])) for i in range(W)])
    for k, values in enumerate(series):
        top, bottom = k * lane_h + 4, (k + 1) * lane_h - 5
        for x in range(0, W, 20):  # time grid
            for y in range(top, bottom + 1, 2):
                put(x, y, (225, 225, 225))
        lo, hi = min(values), max(values)
        if hi - lo < 1e-9:
            lo, hi = lo - 1, hi + 1
        if lo <= 0 <= hi:  # the zero line
            y0 = round(bottom - (0 - lo) / (hi - lo) * (bottom - top))
            line(0, y0, W - 1, y0, (190, 190, 190))
        colour = OUTPUT_COLOUR if k == len(series) - 1 else INPUT_COLOURS[k]
        prev = None
        for x, v in enumerate(values):
            y = round(bottom - (v - lo) / (hi - lo) * (bottom - top))
            if prev is not None:
                line(x - 1, prev, x, y, colour, thick=True)
            prev = y
        if k:
            line(0, k * lane_h, W - 1, k * lane_h, (120, 120, 120))
        # a small mark in the lane's colour at the left: which input, or the output
        for dy in range(6):
            for dx in range(6):
                put(2 + dx, top + dy, colour)
    for x in range(W):  # frame
        put(x, 0, (80, 80, 80)), put(x, H - 1, (80, 80, 80))
    for y in range(H):
        put(0, y, (80, 80, 80)), put(W - 1, y, (80, 80, 80))
    return px


def write_bmp(path, px):
    """An 8-bit bitmap with run-length compression (BI_RLE8): the pictures are lines on white,
    so a few runs per row keep each file at a few kilobytes."""
    palette = sorted({c for row in px for c in row})
    if len(palette) > 256:
        raise ValueError("too many colours for an 8-bit picture")
    index = {c: i for i, c in enumerate(palette)}
    data = bytearray()
    for y in range(H - 1, -1, -1):  # bottom-up rows
        row = [index[c] for c in px[y]]
        x = 0
        while x < W:
            n = 1
            while x + n < W and n < 255 and row[x + n] == row[x]:
                n += 1
            data += bytes((n, row[x]))
            x += n
        data += b"\0\0"  # end of line
    data += b"\0\1"  # end of bitmap
    colours = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    offset = 54 + len(colours)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset))
        f.write(struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 1, len(data), 2835, 2835,
                            len(palette), 0))
        f.write(colours + bytes(data))


def main():
    os.makedirs(os.path.join(OUT, "pictures"), exist_ok=True)
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             "<!-- 运算表达式目录：由 scripts/gen-expression-pictures.py 生成，修改请改脚本中的表格。",
             "     每个分类下是表达式原型：第一个子元素是表达式，第二个是说明；",
             "     关联波形是示意图（相对程序目录），输入口个数是表达式的输入数。 -->"]
    for category, protos in CATALOGUE:
        lines.append(f"<{category}>")
        for name, expr, pic, desc, inputs, fn in protos:
            rel = f"/expression/pictures/{pic}.bmp"
            write_bmp(os.path.join(OUT, "pictures", f"{pic}.bmp"), picture(inputs, fn))
            lines.append(f"  <{name} 关联波形={quoteattr(rel)} 输入口个数=\"{len(inputs)}\">")
            lines.append(f"    <表达式>{escape(expr)}</表达式>")
            lines.append(f"    <说明>{escape(desc)}</说明>")
            lines.append(f"  </{name}>")
        lines.append(f"</{category}>")
    with open(os.path.join(OUT, "expcfg.xml"), "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(lines) + "\n")
    print(f"{sum(len(p) for _, p in CATALOGUE)} prototypes written to {OUT}", file=sys.stderr)


if __name__ == "__main__":
    main()
