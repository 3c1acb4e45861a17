"""Makes the collection importable as ansible_collections.zelk.firmware, from the source tree."""
import atexit
import os
import shutil
import sys
import tempfile

_root = tempfile.mkdtemp(prefix='zelk-collection-')
atexit.register(shutil.rmtree, _root, True)
os.makedirs(os.path.join(_root, 'ansible_collections', 'zelk'))
os.symlink(os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..')),
           os.path.join(_root, 'ansible_collections', 'zelk', 'firmware'))
sys.path.insert(0, _root)
