import importlib.util
import os
import subprocess
import sys

import pytest

EXAMPLES = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "examples")


@pytest.fixture
def example():
    """example(name) loads examples/<name>.py as a module (its __main__ part does not run)."""
    def load(name):
        spec = importlib.util.spec_from_file_location(f"example_{name}", os.path.join(EXAMPLES, name + ".py"))
        module = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(module)
        return module
    return load


@pytest.fixture
def run_example():
    """run_example(name, *args) runs examples/<name>.py as a program with this build;
    it must end well, and its standard output is returned."""
    def run(name, *args):
        result = subprocess.run([sys.executable, os.path.join(EXAMPLES, name + ".py"), *args], capture_output=True,
                                text=True, env=dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path)), timeout=300)
        assert result.returncode == 0, result.stderr
        return result.stdout
    return run
