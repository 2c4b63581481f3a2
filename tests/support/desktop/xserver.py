"""A private X server: Xvfb on a free display number."""

import os


class Xvfb:
    """Xvfb with `-noreset` (without it the server resets when its last client
    leaves, dropping ramps and windows a test still looks at), on the first
    free display (-displayfd), sets DISPLAY in the session's environment. Its
    gamma ramps start as uninitialised memory: `neutral_gamma()` sets 1:1:1."""

    def __init__(self, session, width=1280, height=800, depth=24, background=None, extra_args=()):
        self.session = session
        self.size = (width, height)
        read_fd, write_fd = os.pipe()
        try:
            self.proc = session.spawn(
                ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", f"{width}x{height}x{depth}", "-noreset",
                 "-nolisten", "tcp", *extra_args],
                log=session.path("xvfb.log"), pass_fds=(write_fd,))
        finally:
            os.close(write_fd)
        # The server writes its number once it accepts clients.
        with os.fdopen(read_fd, "rb") as pipe:
            number = pipe.readline().decode().strip()
        if not number:
            with open(session.path("xvfb.log"), errors="replace") as f:
                raise RuntimeError("Xvfb did not start: " + f.read()[-500:])
        self.number = int(number)
        self.display = f":{number}"
        session.env["DISPLAY"] = self.display
        if background:
            # A known root colour, so screenshots compare.
            session.run(["xsetroot", "-solid", background], check=False)

    def neutral_gamma(self):
        self.session.run(["xrandr", "--output", "screen", "--gamma", "1:1:1"], check=False)

    def close(self):
        self.session.stop(self.proc)
