import os
import sys

# Test the tree that scripts/test just built, not whatever else is importable.
_build = os.environ.get("VELMORPY_BUILD") or os.path.join(
    os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "build", "python")
if os.path.isdir(_build):
    sys.path.insert(0, _build)
