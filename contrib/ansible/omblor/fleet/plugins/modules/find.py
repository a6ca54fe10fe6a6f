# -*- coding: utf-8 -*-
# MIT License (see the collection's galaxy.yml)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: find
short_description: List the modules a station's discovery search finds
description:
  - Runs C(omblorctl find) on the station, one discovery search in the station's broadcast
    domain, and returns every module that answered, for later tasks.
  - Changes nothing; runs the same in check mode. A search nobody answers gives an empty list.
  - Needs omblorctl 0.1.0 or newer on the station; an older or missing one fails the task with a
    message naming the station's version and the one needed.
version_added: 0.1.0
author:
  - The Omblor authors (!UNKNOWN)
options:
  seconds:
    description:
      - Go on listening this many seconds (0 to 3600) after the search.
    type: float
  omblorctl:
    description:
      - The omblorctl program on the station; found on the PATH when not given.
    type: path
notes:
  - Supports check mode.
seealso:
  - module: omblor.fleet.update
'''

EXAMPLES = r'''
- name: Which modules does the bench have?
  omblor.fleet.find:
  register: bench

- name: Program the QX19 modules among them
  omblor.fleet.update:
    file: /var/lib/omblor/line_APP.s19
    addresses: "{{ bench.modules | selectattr('platform', 'equalto', 'QX19') | map(attribute='address') | list }}"
'''

RETURN = r'''
modules:
  description: Every module the search lists, as omblorctl's C(find --json) gives it, with C(macs) added.
  returned: always
  type: list
  elements: dict
  contains:
    address:
      description: The address to reach the module at.
      type: str
    platform:
      description: The module's platform name.
      type: str
    application:
      description: The application the module runs.
      type: str
    macs:
      description: The MAC addresses of the module's interfaces.
      type: list
      elements: str
    interfaces:
      description: The module's interfaces (C(mac), C(type), C(address), C(agrees)).
      type: list
      elements: dict
  sample:
    - address: 10.1.2.3
      platform: QX19
      application: line 4.2
      agrees: true
      relayed: false
      interfaces:
        - mac: 00:11:22:33:44:55
          type: ethernet
          address: 10.1.2.3
          agrees: true
      macs: [00:11:22:33:44:55]
omblorctl_version:
  description: The version of the station's omblorctl.
  returned: always
  type: str
  sample: 0.1.0
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.omblor.fleet.plugins.module_utils.omblorctl import (
    json_lines,
    station_omblorctl,
)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            seconds=dict(type='float'),
            omblorctl=dict(type='path'),
        ),
        supports_check_mode=True,
    )
    omblorctl, version = station_omblorctl(module)
    args = [omblorctl, 'find', '--json']
    if module.params['seconds'] is not None:
        args += ['--seconds', str(module.params['seconds'])]
    rc, out, err = module.run_command(args)
    # 1 is a search that nobody answered: an empty list, no failure.
    if rc not in (0, 1):
        module.fail_json(msg='omblorctl find failed (exit %d): %s' % (rc, err.strip() or 'no message'),
                         omblorctl_version=version)
    modules = json_lines(module, out, 'find')
    for found in modules:
        found['macs'] = [i.get('mac') for i in found.get('interfaces', []) if i.get('mac')]
    module.exit_json(changed=False, modules=modules, omblorctl_version=version)


if __name__ == '__main__':
    main()
