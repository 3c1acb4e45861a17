"""Every module's documentation reads as YAML and names exactly the options it takes, with their
types, defaults and choices, so that ansible-doc tells the truth."""
import importlib

import pytest
import yaml

from ansible_collections.zelk.firmware.plugins.doc_fragments.connection import ModuleDocFragment

MODULES = ['install', 'status', 'maintenance', 'report']


@pytest.mark.parametrize('name', MODULES)
def test_documentation_matches_the_argument_spec(name):
    module = importlib.import_module('ansible_collections.zelk.firmware.plugins.modules.' + name)
    documentation = yaml.safe_load(module.DOCUMENTATION)
    yaml.safe_load(module.EXAMPLES)
    yaml.safe_load(module.RETURN)
    options = dict(documentation.get('options') or {})
    if 'zelk.firmware.connection' in documentation.get('extends_documentation_fragment', []):
        options.update(yaml.safe_load(ModuleDocFragment.DOCUMENTATION)['options'])
    spec = module.argument_spec()
    assert sorted(options) == sorted(spec)
    for option, declared in spec.items():
        documented = options[option]
        assert documented.get('type', 'str') == declared.get('type', 'str'), option
        assert documented.get('default') == declared.get('default'), option
        assert documented.get('choices') == declared.get('choices'), option
        assert bool(documented.get('required')) == bool(declared.get('required')), option
        assert documented.get('elements') == declared.get('elements'), option
