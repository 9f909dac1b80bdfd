"""Runs the Python package's tests with pytest, or says they are skipped
(exit code 77, which ctest counts as a skip) where pytest is missing."""

import sys

try:
    import pytest
except ImportError:
    print(f"SKIP: pytest is not installed for {sys.executable} (Debian: python3-pytest)")
    sys.exit(77)

sys.exit(pytest.main(["-q", "-p", "no:cacheprovider", *sys.argv[1:]]))
