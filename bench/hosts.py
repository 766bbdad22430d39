"""The hosts-file jobs: a generated blocklist of LF lines, and the edits made of it.

The file is made of blocks of 100 lines: a feed line `# feedB=ads,trackers` (a KEY=value line
for .E), a place-holder line `%ADDRB% mirrorB.corp.example.com mirrorB` (for .V) in the middle,
and 98 blocked hosts `0.0.0.0 NAME`, every line unique and in lower case but for the
place-holder: no two lines differ only in letter case, so grep -F, which compares with case,
removes what .R removes letter case aside.

Each edit comes with the lines the file holds afterwards, worked out from what each command was
made to meet, not by running the commands: run.py compares every tool's bytes with them.
"""

import functools
import random

BLOCK = 100
FEED_AT = 0
PLACEHOLDER_AT = 50
HOST_FORMS = ["0.0.0.0 ads{n}.example.net", "0.0.0.0 track{n}.example.com",
              "0.0.0.0 px{n}.example.org", "0.0.0.0 cdn{n}.example.io"]
# The host lines of a block that a cycle of the mixed edit swaps, inserts after and removes.
SWAP_AT, AFTER_AT, REMOVE_AT = 11, 22, 33
# Every this many cycles, the .R removes the line its .S has just made instead.
CHAIN_EVERY = 10


def line(n):
    block, at = divmod(n, BLOCK)
    if at == FEED_AT:
        return "# feed%d=ads,trackers" % block
    if at == PLACEHOLDER_AT:
        return "%%ADDR%d%% mirror%d.corp.example.com mirror%d" % (block, block, block)
    return HOST_FORMS[n % len(HOST_FORMS)].format(n=n)


@functools.lru_cache(maxsize=2)
def lines(count):
    """The file's lines, `count` a multiple of BLOCK."""
    return tuple(line(n) for n in range(count))


def text(held):
    return "".join(each + "\n" for each in held).encode("latin-1")


def host_numbers(count):
    """The numbers of the blocked-host lines, the ones .R and .S and .A act on."""
    return [n for n in range(count) if n % BLOCK not in (FEED_AT, PLACEHOLDER_AT)]


def spread(items, count):
    """`count` of the items, evenly spaced, in an order of their own (fixed by `count`): a
    list of entries is not kept in the order of the file it edits."""
    chosen = [items[k * len(items) // count] for k in range(count)]
    random.Random(count).shuffle(chosen)
    return chosen


def removals(count, entries):
    """`entries` .R commands, each removing one host line: (edit, lines afterwards)."""
    held, hosts = lines(count), host_numbers(count)
    gone = spread(hosts, min(entries, len(hosts)))
    edit = [("R", held[n], None) for n in gone]
    gone = set(gone)
    return edit, [each for n, each in enumerate(held) if n not in gone]


def mixed(count, commands, target=None):
    """`commands` commands, .S .A .R .V .E in turn, each cycle of five acting on one block of
    a file of `count` lines: (edit, lines afterwards of the first `target` lines, all without).
    A .S makes a host point to 127.0.0.1, a .A adds a host's www. name after it, a .R removes a
    host (in the second cycle and every CHAIN_EVERY-th after it the one its .S has just swapped,
    written in upper case), a .V fills in the block's address and a .E (its key written in
    upper case) adds a feed. No command meets a line that a .A adds: sed prints those as they
    are. Every line is one of its own, so a cycle meets only the lines of its block."""
    cycles = min(commands // 5, count // BLOCK)
    edit, becomes, added = [], {}, {}
    for cycle, block in enumerate(spread(range(count // BLOCK), cycles)):
        base = block * BLOCK
        swapped = line(base + SWAP_AT).replace("0.0.0.0 ", "127.0.0.1 ")
        edit.append(("S", line(base + SWAP_AT), swapped))
        becomes[base + SWAP_AT] = swapped
        after = line(base + AFTER_AT)
        added[base + AFTER_AT] = after.replace("0.0.0.0 ", "0.0.0.0 www.")
        edit.append(("A", after, added[base + AFTER_AT]))
        if cycle % CHAIN_EVERY == 1:
            edit.append(("R", swapped.upper(), None))
            becomes[base + SWAP_AT] = None
        else:
            edit.append(("R", line(base + REMOVE_AT), None))
            becomes[base + REMOVE_AT] = None
        variable = "%%ADDR%d%%" % block
        address = "10.%d.%d.1" % (block // 256, block % 256)
        edit.append(("V", variable, address))
        becomes[base + PLACEHOLDER_AT] = line(base + PLACEHOLDER_AT).replace(variable, address)
        key = "# FEED%d=" % block
        edit.append(("E", key, ",malware"))
        becomes[base + FEED_AT] = key + line(base + FEED_AT).split("=", 1)[1] + ",malware"
    after_edit = []
    for n, each in enumerate(lines(count if target is None else target)):
        each = becomes.get(n, each)
        if each is not None:
            after_edit.append(each)
        if n in added:
            after_edit.append(added[n])
    return edit, after_edit
