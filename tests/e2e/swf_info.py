"""Stage size of a SWF file, read independently of the program under test."""
import zlib


def stage_size(data):
    if data[:3] == b"CWS":
        data = data[:8] + zlib.decompressobj().decompress(data[8:], 64)
    assert data[:3] in (b"FWS", b"CWS"), "not a SWF file"
    bits = int.from_bytes(data[8:25], "big")
    total = 17 * 8
    nbits = bits >> (total - 5)
    values = []
    for i in range(4):
        shift = total - 5 - nbits * (i + 1)
        v = (bits >> shift) & ((1 << nbits) - 1)
        if v & (1 << (nbits - 1)):
            v -= 1 << nbits
        values.append(v)
    xmin, xmax, ymin, ymax = values

    def round_half_away(twips):
        px = twips * 0.05
        return int(px + 0.5) if px >= 0 else -int(-px + 0.5)

    return round_half_away(xmax - xmin), round_half_away(ymax - ymin)
