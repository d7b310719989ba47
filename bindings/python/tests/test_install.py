"""Installs the binding into a fresh virtual environment with no package
index and runs the README's Python example there against the built library
(QUENDRAL_JSONENGINE_LIBRARY). Exits 77 when it is skipped (no venv module
or ensurepip), so the test runner can count it as skipped.
"""

import os
import pathlib
import re
import subprocess
import sys
import tempfile
import unittest

HERE = pathlib.Path(__file__).resolve().parent
PACKAGE_DIR = HERE.parent
REPO = PACKAGE_DIR.parent.parent
ENV_VAR = "QUENDRAL_JSONENGINE_LIBRARY"

EXAMPLE_OUTPUT = (
    "Corner Books\n"
    "$.store.book[1].title Sword of Honour\n"
    "$.store.book[3].title The Lord of the Rings\n"
    "true\n"
    "error: path not found: $.store.missing\n"
)


def readme_example() -> str:
    text = (REPO / "README.md").read_text(encoding="utf-8")
    found = re.search(r"^## Using the library from Python$.*?^```python\n(.*?)^```$", text, re.M | re.S)
    if not found:
        raise AssertionError("README.md has no Python example")
    return found.group(1)


def can_make_venvs() -> bool:
    try:
        import ensurepip  # noqa: F401
        import venv  # noqa: F401
    except ImportError:
        return False
    return True


@unittest.skipUnless(can_make_venvs(), "the venv module or ensurepip is missing (Debian: python3-venv)")
class FreshEnvironment(unittest.TestCase):
    def test_offline_install_runs_the_readme_example(self):
        library = os.environ.get(ENV_VAR)
        self.assertTrue(library, f"{ENV_VAR} must name the built library")
        # Nothing from the caller's pip configuration or Python path may help.
        env = {k: v for k, v in os.environ.items() if not k.startswith(("PIP_", "PYTHON"))}
        env.update(PIP_NO_INDEX="1", PIP_DISABLE_PIP_VERSION_CHECK="1", PIP_CONFIG_FILE=os.devnull)
        with tempfile.TemporaryDirectory() as d:
            venv = pathlib.Path(d) / "venv"
            subprocess.run([sys.executable, "-m", "venv", str(venv)], check=True, env=env, timeout=300)
            bindir = venv / ("Scripts" if os.name == "nt" else "bin")
            python = str(bindir / ("python.exe" if os.name == "nt" else "python"))
            # Both the default (isolated) build and --no-build-isolation.
            for extra in ([], ["--no-build-isolation", "--force-reinstall"]):
                with self.subTest(pip_options=extra):
                    r = subprocess.run([python, "-m", "pip", "install", "--no-index", *extra, str(PACKAGE_DIR)],
                                       capture_output=True, text=True, env=env, timeout=300)
                    self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
            env[ENV_VAR] = library
            where = subprocess.run([python, "-c", "import quendral_jsonengine as je; print(je.__file__)"],
                                   capture_output=True, text=True, env=env, cwd=d, timeout=60)
            self.assertTrue(pathlib.Path(where.stdout.strip()).is_relative_to(venv), where.stdout + where.stderr)
            run = subprocess.run([python, "-c", readme_example()], capture_output=True, text=True, env=env,
                                 cwd=str(REPO), timeout=60)
            self.assertEqual(run.stdout, EXAMPLE_OUTPUT, run.stderr)


if __name__ == "__main__":
    result = unittest.main(exit=False, verbosity=2).result
    if not result.wasSuccessful():
        sys.exit(1)
    sys.exit(77 if result.skipped and result.testsRun == len(result.skipped) else 0)
