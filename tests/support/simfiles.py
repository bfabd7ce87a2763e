"""The bytes of a simulated KE file, for the Wine test scripts: the same text
devsim::FileContent builds (the simulator never puts SUB or 0xFF in a file's
content), and the archive file made of it and its end byte."""


def content(number, size):
    out = b''
    row = 0
    while len(out) < size:
        out += b'Z%04d WYDRUK %06d ABCDEFGHIJ 0123456789\r\n' % (number, row)
        row += 1
    return out[:size]


def archived(number, size):
    return content(number, size) + (b'\xff' if number else b'\x1a')
