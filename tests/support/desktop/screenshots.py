"""Screenshots of the private X server (ImageMagick's import) and pixel reads."""

import os
import subprocess


def artifacts_dir(subdir="", default_root=None):
    """$DW_TEST_ARTIFACTS/<subdir> (else <default_root>/test-artifacts/<subdir>, else
    ./test-artifacts/<subdir>); created when something is saved there."""
    root = os.environ.get("DW_TEST_ARTIFACTS") or os.path.join(default_root or os.getcwd(), "test-artifacts")
    return os.path.join(root, subdir)


class Screenshots:
    """Saves root-window screenshots into `directory` and reads screen pixels."""

    def __init__(self, session, directory):
        self.session = session
        self.directory = directory

    def save(self, name):
        """The whole screen as <directory>/<name> (format from the extension); returns the path."""
        os.makedirs(self.directory, exist_ok=True)
        path = os.path.join(self.directory, name)
        out = self.session.run(["import", "-window", "root", path], check=False)
        if out.returncode != 0:
            raise RuntimeError(f"screenshot {name} failed: {out.stderr.strip()}")
        return path

    def pixels(self, rect):
        """RGB bytes (8 bits a channel, row by row) of the screen rectangle
        (x, y, w, h), or of a Window's."""
        x, y, w, h = tuple(rect)[-4:]
        out = subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-depth", "8",
                              "rgb:-"], env=self.session.env, capture_output=True, timeout=30)
        return out.stdout


def find_runs(raw, w, h, match):
    """For each row of an RGB image (w x h) holding pixels that satisfy
    match(r, g, b): (y, x0, x1) of its longest run of them."""
    rows = []
    for y in range(h):
        best, start = (0, 0, 0), None
        for x in range(w):
            i = (y * w + x) * 3
            if i + 2 < len(raw) and match(raw[i], raw[i + 1], raw[i + 2]):
                start = x if start is None else start
                if x - start + 1 > best[0]:
                    best = (x - start + 1, start, x)
            else:
                start = None
        if best[0]:
            rows.append((y, best[1], best[2]))
    return rows
