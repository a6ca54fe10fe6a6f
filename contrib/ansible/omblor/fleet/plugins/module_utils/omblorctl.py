# -*- coding: utf-8 -*-
# What the modules share about the station's omblorctl: finding it, checking its version, running
# it and reading its JSON lines.
# MIT License (see the collection's galaxy.yml)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os
import re

# The first omblorctl whose update takes every option these modules pass (--dry-run, --canary,
# --confirm, ...) and streams JSON lines. Older ones would refuse the command line halfway.
NEEDED_VERSION = '0.1.0'


def version_tuple(text):
    return tuple(int(part) for part in text.split('.'))


def station_omblorctl(module):
    """The omblorctl to run and its version, or fail_json saying what the station lacks."""
    wanted = module.params['omblorctl']
    if wanted:
        path = wanted if os.path.isfile(wanted) and os.access(wanted, os.X_OK) else None
    else:
        path = module.get_bin_path('omblorctl')
    if not path:
        module.fail_json(msg='omblorctl is not on this station (%s); these modules need omblorctl %s or newer'
                         % (wanted or 'not found on PATH', NEEDED_VERSION))
    rc, out, err = module.run_command([path, '--version'])
    found = re.match(r'omblorctl (\d+(?:\.\d+)*)\s*$', out)
    if rc != 0 or not found:
        said = (out or err).strip().splitlines()
        module.fail_json(msg="omblorctl on this station (%s) is too old to tell its version ('%s'); "
                             'these modules need omblorctl %s or newer'
                         % (path, said[0] if said else 'no answer', NEEDED_VERSION))
    version = found.group(1)
    if version_tuple(version) < version_tuple(NEEDED_VERSION):
        module.fail_json(msg='omblorctl on this station is version %s; these modules need omblorctl %s or newer'
                         % (version, NEEDED_VERSION), omblorctl_version=version)
    return path, version


def json_lines(module, text, what):
    """One object per non-empty line of omblorctl's --json output."""
    objects = []
    for line in text.splitlines():
        if not line.strip():
            continue
        try:
            objects.append(json.loads(line))
        except ValueError:
            module.fail_json(msg='omblorctl %s printed a line that is not JSON: %s' % (what, line))
    return objects
