"""The suite's world: builds to run (targets), and worlds started once per run
on first use (a Wine prefix on its own Xvfb; an Xvfb per window manager)."""
import pytest

from harness import Target, World


@pytest.fixture(scope="session")
def worlds(tmp_path_factory):
    """world(manager, wine=False): started on first use, stopped at the end.
    Wine runs under openbox: with no manager, Wine waits two seconds for one
    at every hide. One that failed to start fails its later tests at once:
    trying again would cost each of them the whole wait."""
    started, failed = {}, {}

    def world(manager="none", wine=False):
        key = "wine" if wine else manager
        if key in failed:
            raise RuntimeError("the %s world failed to start earlier: %s" % (key, failed[key]))
        if key not in started:
            try:
                started[key] = World(tmp_path_factory.mktemp(key), "openbox" if wine else
                                     None if manager == "none" else manager, wine).start()
            except Exception as e:
                failed[key] = e
                raise
            if started[key].user:
                # Its user runs wincue in the tests' folders (script_dir
                # opens each), whose path it must pass through.
                base = tmp_path_factory.getbasetemp()
                for d in (base, base.parent):
                    d.chmod(d.stat().st_mode | 0o011)
        return started[key]
    yield world
    for w in started.values():
        w.stop()


@pytest.fixture(params=["host", "asan", "wine"])
def target(request, worlds):
    return Target(request.param, worlds(wine=True) if request.param == "wine" else None)
