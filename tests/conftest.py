"""The suite's world: builds to run (targets), and worlds started once per run
on first use (a Wine prefix on its own Xvfb; an Xvfb per window manager)."""
import shutil
import signal
import tempfile

import pytest

# The shared helpers' asserts say what they compared, as the tests' own do.
pytest.register_assert_rewrite("harness", "desks", "windowlines")
from harness import Target, World  # noqa: E402
from world import absent  # noqa: E402


def pytest_configure(config):
    """The tests' folders are a run's own, outside pytest-of-root, which every
    session of pytest makes private again as it starts: a world's own user
    (GNOME's) runs wincue in them (script_dir opens each to it). Kept when
    a test failed."""
    # A run ended by SIGTERM (a timeout, a cancelled job) still tears down
    # its fixtures, and the worlds they started with them: by default
    # Python dies at once and leaves the compositors to init.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    if config.option.basetemp is None:
        config.option.basetemp = tempfile.mkdtemp(prefix="wincue-tests-")
        config.wincue_basetemp = config.option.basetemp


def pytest_sessionfinish(session, exitstatus):
    own = getattr(session.config, "wincue_basetemp", None)
    if own and exitstatus == 0:
        shutil.rmtree(own, ignore_errors=True)


@pytest.fixture(scope="session", autouse=True)
def folders_a_world_user_passes(tmp_path_factory):
    base = tmp_path_factory.getbasetemp()
    base.chmod(base.stat().st_mode | 0o011)


@pytest.fixture(scope="session")
def worlds(tmp_path_factory):
    """world(manager, wine=False): started on first use, stopped at the end.
    Wine runs under openbox: with no manager, Wine waits two seconds for one
    at every hide. One that failed to start fails its later tests at once:
    trying again would cost each of them the whole wait."""
    started, failed = {}, {}

    def world(manager="none", wine=False):
        key = "wine" if wine else manager
        if absent(key):
            pytest.skip(absent(key))
        if key in failed:
            raise RuntimeError("the %s world failed to start earlier: %s" % (key, failed[key]))
        if key not in started:
            try:
                started[key] = World(tmp_path_factory.mktemp(key), "openbox" if wine else
                                     None if manager == "none" else manager, wine).start()
            except Exception as e:
                failed[key] = e
                raise

        return started[key]
    yield world
    for w in started.values():
        w.stop()


@pytest.fixture
def ends():
    """What ends the programs a test started, called last first once it is
    over, however it ended."""
    todo = []
    yield todo.append
    for end in reversed(todo):
        end()


@pytest.fixture(params=["host", "asan", "wine"])
def target(request, worlds):
    return Target(request.param, worlds(wine=True) if request.param == "wine" else None)
