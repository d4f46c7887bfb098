#!/usr/bin/env python3
"""Makes a benchmark source tree: the same names, sizes, bytes and modification
times on every run (a seeded generator per profile, a fixed epoch).

    bench/make_tree.py OUTDIR PROFILE [--scale F]

Profiles (counts and bytes before --scale):
  tiny   a few dozen files, under 2 MB (the test suite's smoke runs)
  small  about 2,000 files in 100 folders, 60 MB: block-edge sizes (0, 1, 2047,
         2048, 2049 ...), hundreds of KB, a few MB; Chinese names that have a GBK
         form; folders nested 7 deep
  many   100,000 files in 5,000 folders, 1 GB, mostly small files
  large  a dozen files, 3 GB
  huge   the compilation's capacities: 580,000 files in 19,999 folders (600,000
         entries beside the root, 20,000 folders with it), tiny files

--scale multiplies the file counts (and the bytes of `large`). The tree is made
in OUTDIR.partial and renamed to OUTDIR when complete, so that an existing OUTDIR
is always a whole tree; OUTDIR must not exist. Names stay under 100 bytes.
Prints one line: profile, files, folders, bytes.
"""
import argparse
import os
import random
import sys

EPOCH = 1_700_000_000          # fixed base of every modification time
YEAR = 365 * 86400
MAX_NAME = 99                  # bytes of UTF-8, names < 100 bytes
POOL_BYTES = 8 << 20           # file contents are slices of one seeded pool
KB, MB = 1000, 1000 * 1000

# Chinese words of everyday folders; each has a GBK form (checked below).
ZH = ["文件", "照片", "资料", "音乐", "视频", "文档", "备份", "图片", "新建文件夹", "报告",
      "工作", "项目", "旅行", "家庭", "学习", "会议纪要", "合同", "数据", "总结", "草稿",
      "光盘", "刻录", "年度", "季度", "广州", "杭州", "说明书", "简历"]
EN = ["alpha", "beta", "gamma", "data", "docs", "photos", "music", "backup", "project",
      "archive", "misc", "src", "build", "report", "notes", "Video", "Images", "Draft",
      "FINAL", "old", "new", "tmp", "2019", "2021", "v1.2", "release", "Summer Trip", "a"]
EXT = [".txt", ".jpg", ".JPG", ".png", ".pdf", ".doc", ".mp3", ".dat", ".bin", ".html",
       ".c", ".h", ".tar.gz", "", ".xml", ".json"]


class Tree:
    def __init__(self, root, seed):
        self.root = root
        self.rng = random.Random(seed)
        self.pool = self.rng.randbytes(POOL_BYTES)
        self.files = self.dirs = self.bytes = 0
        self.folders = [(root, 0)]          # (path, depth)
        self.taken = {root: set()}           # names per folder, case-folded
        self.mtimes = []

    def unique(self, folder, name):
        """The name, or the name with a counter before its extension, so that no two
        entries of one folder differ only in case."""
        stem, dot, ext = name.rpartition(".")
        if not dot or not stem:
            stem, ext = name, ""
        else:
            ext = "." + ext
        candidate, n = name, 1
        while candidate.lower() in self.taken[folder]:
            n += 1
            suffix = "_%d%s" % (n, ext)
            candidate = fit(stem, MAX_NAME - len(suffix.encode())) + suffix
        self.taken[folder].add(candidate.lower())
        return candidate

    def mkdir(self, parent, name, depth):
        path = os.path.join(parent, self.unique(parent, fit(name, MAX_NAME)))
        os.mkdir(path, 0o755)
        self.taken[path] = set()
        self.folders.append((path, depth))
        self.dirs += 1
        return path

    def write(self, folder, name, size):
        path = os.path.join(folder, self.unique(folder, fit(name, MAX_NAME)))
        start = self.rng.randrange(POOL_BYTES)
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        try:
            view = memoryview(self.pool)
            left = size
            while left > 0:
                n = min(left, POOL_BYTES - start)
                left -= os.write(fd, view[start:start + n])
                start = 0
        finally:
            os.close(fd)
        self.files += 1
        self.bytes += size
        self.mtimes.append((path, EPOCH + self.rng.randrange(YEAR)))

    def folder_tree(self, count, max_depth, name_of):
        """count folders below the root; the first max_depth form one chain so that
        the deepest level is reached, the others hang under folders picked at random."""
        for i in range(count):
            if i < max_depth:
                parent, depth = self.folders[-1]
            else:
                parent, depth = self.folders[self.rng.randrange(len(self.folders))]
                while depth >= max_depth:
                    parent, depth = self.folders[self.rng.randrange(len(self.folders))]
            self.mkdir(parent, name_of(self.rng, i), depth + 1)

    def spread(self, sizes, name_of):
        for i, size in enumerate(sizes):
            folder, _ = self.folders[self.rng.randrange(len(self.folders))]
            self.write(folder, name_of(self.rng, i), size)

    def finish(self):
        # Folders last and deepest first: writing into a folder changes its time.
        for path, t in self.mtimes:
            os.utime(path, (t, t))
        for path, _ in sorted(self.folders, key=lambda f: -f[1]):
            os.utime(path, (EPOCH, EPOCH))


def fit(name, limit):
    """The name cut to at most limit UTF-8 bytes, never inside a character."""
    data = name.encode()
    return name if len(data) <= limit else data[:limit].decode(errors="ignore")


def folder_name(rng, i):
    r = rng.random()
    if r < 0.3:
        return rng.choice(ZH) + "_%d" % i
    if r < 0.35:
        return "." + rng.choice(EN).lower() + "_%d" % i
    if r < 0.4:   # long folder names
        return "%04d " % i + " ".join(rng.choice(EN) for _ in range(10))
    return rng.choice(EN) + "_%04d" % i


def file_name(rng, i):
    ext = rng.choice(EXT)
    r = rng.random()
    if r < 0.25:
        stem = rng.choice(ZH) + "_%05d" % i
    elif r < 0.3:
        stem = "".join(rng.choice(ZH) for _ in range(rng.randrange(2, 6))) + "%d" % i
    elif r < 0.33:
        return ".%s%drc" % (rng.choice(EN).lower().replace(" ", ""), i)
    elif r < 0.36:  # long names, 60 to 99 bytes
        stem = "%05d " % i + " ".join(rng.choice(EN) for _ in range(20))
        stem = fit(stem, rng.randrange(60, MAX_NAME + 1) - len(ext))
    elif r < 0.6:
        stem = "IMG_%05d" % i
    else:
        stem = rng.choice(EN) + "_%d" % i
    return stem + ext


def plain_name(rng, i):
    return "f%06d%s" % (i, rng.choice((".dat", ".txt", ".log", "")))


def scaled(n, scale):
    return max(1, round(n * scale))


def make_tiny(tree, scale):
    tree.folder_tree(8, 4, folder_name)
    sizes = [0, 1, 2047, 2048, 2049, 4096, 65536, 300 * KB, 1 * MB]
    sizes += [tree.rng.randrange(0, 20 * KB) for _ in range(scaled(40, scale) - len(sizes))]
    tree.rng.shuffle(sizes)
    tree.spread(sizes, file_name)


def make_small(tree, scale):
    tree.folder_tree(100, 7, folder_name)
    sizes = [s for s in (0, 1, 2047, 2048, 2049, 4095, 4096, 4097, 65535, 65536, 65537) for _ in range(3)]
    sizes += [tree.rng.randrange(100 * KB, 900 * KB) for _ in range(40)]
    sizes += [tree.rng.randrange(2 * MB, 5 * MB) for _ in range(8)]
    sizes += [tree.rng.randrange(0, 12 * KB) for _ in range(scaled(2000, scale) - len(sizes))]
    tree.rng.shuffle(sizes)
    tree.spread(sizes, file_name)


def make_many(tree, scale):
    tree.folder_tree(5000, 7, folder_name)
    count = scaled(100_000, scale)
    sizes = [tree.rng.randrange(0, 2050) for _ in range(min(150, count))]
    sizes += [tree.rng.randrange(100 * KB, 1 * MB) for _ in range(min(50, count))]
    sizes += [tree.rng.randrange(1 * KB, 19 * KB) for _ in range(count - len(sizes))]
    tree.rng.shuffle(sizes)
    tree.spread(sizes, file_name)


def make_large(tree, scale):
    films = tree.mkdir(tree.root, "影片", 1)
    images = tree.mkdir(tree.root, "disc images", 1)
    sizes = [500 * MB] * 5 + [300 * MB, 150 * MB] + [tree.rng.randrange(10 * MB, 40 * MB) for _ in range(5)]
    names = ["movie_%02d.mkv" % i for i in range(5)] + ["视频备份.iso", "archive.tar"]
    names += ["照片_%02d.zip" % i for i in range(5)]
    for i, (size, name) in enumerate(zip(sizes, names)):
        tree.write((films, images, tree.root)[i % 3], name, max(0, round(size * scale)))


def make_huge(tree, scale):
    tree.folder_tree(19_999, 7, lambda rng, i: "d%05d" % i)
    tree.spread([tree.rng.randrange(0, 600) for _ in range(scaled(580_000, scale))], plain_name)


PROFILES = {
    "tiny": (20261201, make_tiny),
    "small": (20261202, make_small),
    "many": (20261203, make_many),
    "large": (20261204, make_large),
    "huge": (20261205, make_huge),
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("outdir")
    parser.add_argument("profile", choices=sorted(PROFILES))
    parser.add_argument("--scale", type=float, default=1.0, help="multiplies the file counts")
    args = parser.parse_args()
    for word in ZH:
        word.encode("gbk")  # every Chinese name must have a GBK form
    outdir = os.path.abspath(args.outdir)
    if os.path.lexists(outdir):
        sys.exit("make_tree.py: %s exists; remove it to make the tree again" % outdir)
    partial = outdir + ".partial"
    if os.path.lexists(partial):
        sys.exit("make_tree.py: %s exists (an interrupted run?): remove it" % partial)
    os.makedirs(partial, 0o755)
    seed, make = PROFILES[args.profile]
    tree = Tree(partial, seed)
    make(tree, args.scale)
    tree.finish()
    os.rename(partial, outdir)
    print("profile=%s files=%d folders=%d bytes=%d (%.1f MB)"
          % (args.profile, tree.files, tree.dirs, tree.bytes, tree.bytes / MB))


if __name__ == "__main__":
    main()
