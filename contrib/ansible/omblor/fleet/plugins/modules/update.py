# -*- coding: utf-8 -*-
# MIT License (see the collection's galaxy.yml)

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: update
short_description: Program network-attached modules from a station with omblorctl
description:
  - Runs C(omblorctl update) on the station with an application file that is already there, and
    returns one result per module.
  - The password goes to omblorctl in a temporary file only the station's user can read, removed
    afterwards; never on a command line or in an environment.
  - The task fails, with a message counting the outcomes, when any module was not programmed
    (skipped modules aside), unless I(allow_failures) is set; and, whatever I(allow_failures)
    says, when no module at all was programmed (every one skipped, or none found) or omblorctl
    itself failed.
  - In check mode omblorctl resolves the modules and says which it would program, connecting to
    none (C(--dry-run)).
  - Needs omblorctl 0.1.0 or newer on the station; an older or missing one fails the task with a
    message naming the station's version and the one needed.
version_added: 0.1.0
author:
  - The Omblor authors (!UNKNOWN)
options:
  file:
    description:
      - The application file (a Motorola S-record file) on the station.
    type: path
    required: true
  addresses:
    description:
      - The modules' IPv4 addresses.
      - At least one address is needed unless I(found) is set.
    type: list
    elements: str
    default: []
  found:
    description:
      - Search first, and add every module listed whose platform the file accepts; the others are
        reported as C(skipped).
    type: bool
    default: false
  retries:
    description:
      - Try a module again up to this many times after a transient failure.
      - Left to omblorctl when not given (no retries).
    type: int
  retry_delay:
    description:
      - Seconds before the first retry, twice that before the next.
      - Left to omblorctl when not given (2 seconds).
    type: float
  canary:
    description:
      - Program this many modules first, and the rest only if all of them were programmed.
    type: int
  max_failures:
    description:
      - Open no new connection once this many modules have failed.
    type: int
  confirm:
    description:
      - After its reboot, search until each module answers again; the results then tell which
        were confirmed.
    type: bool
    default: false
  confirm_timeout:
    description:
      - Seconds to wait for a module to answer again with I(confirm).
      - Left to omblorctl when not given (60 seconds).
    type: float
  parallel:
    description:
      - At most this many connections open at once.
      - Left to omblorctl when not given (64).
    type: int
  reboot:
    description:
      - Answer the module's reboot question with a reboot; C(false) leaves the module running.
    type: bool
    default: true
  user:
    description:
      - The user for modules that ask for credentials.
    type: str
  password:
    description:
      - The password for modules that ask for credentials; needs I(user).
      - Keep it in a vault or a vars file, never on the command line.
    type: str
  log:
    description:
      - A file on the station that omblorctl appends one JSON line per attempt to.
      - Not written in check mode.
    type: path
  omblorctl:
    description:
      - The omblorctl program on the station; found on the PATH when not given.
    type: path
  allow_failures:
    description:
      - Return the results without failing the task when some module was not programmed.
    type: bool
    default: false
notes:
  - Supports check mode.
seealso:
  - module: omblor.fleet.find
'''

EXAMPLES = r'''
- name: Program the bench's modules
  omblor.fleet.update:
    file: /var/lib/omblor/line_APP.s19
    addresses: [10.1.2.3, 10.1.2.4]
    retries: 2
    canary: 1

- name: Program every module the search lists, with credentials from the vault
  omblor.fleet.update:
    file: /var/lib/omblor/line_APP.s19
    found: true
    confirm: true
    user: admin
    password: "{{ vault_omblor_password }}"
  register: programmed

- name: Report without failing, for a later task to judge
  omblor.fleet.update:
    file: /var/lib/omblor/line_APP.s19
    found: true
    allow_failures: true
  register: run
'''

RETURN = r'''
results:
  description: One result per module, as omblorctl's C(--json) gives it.
  returned: always
  type: list
  elements: dict
  sample:
    - address: 127.0.1.1
      outcome: programmed
      detail: ''
      seconds: 0.123
      bytes: 40960
      attempts: 1
    - address: 127.0.1.3
      outcome: refused
      detail: 'platform QX20, file QX19'
      seconds: 0.004
      bytes: 0
      attempts: 1
counts:
  description:
    - How many modules ended with each outcome (C(programmed), C(refused), C(module error),
      C(timed out), C(connect error), C(receive error), C(credentials needed), C(cancelled),
      C(skipped), C(not started), C(not confirmed), and C(would program) in check mode).
  returned: always
  type: dict
  sample:
    programmed: 2
    refused: 1
not_programmed:
  description:
    - How many modules were not programmed, skipped ones aside (in check mode, how many would
      not be).
  returned: always
  type: int
  sample: 1
omblorctl_version:
  description: The version of the station's omblorctl.
  returned: always
  type: str
  sample: 0.1.0
msg:
  description: The outcomes counted in one sentence.
  returned: always
  type: str
  sample: '1 of 3 modules not programmed: 2 programmed, 1 refused'
'''

import os
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.omblor.fleet.plugins.module_utils.omblorctl import (
    json_lines,
    station_omblorctl,
)

# Outcomes that are no failure: the module was programmed, or left alone on purpose.
FINE = {'programmed', 'skipped'}
FINE_IN_CHECK_MODE = {'would program', 'skipped'}

# Options passed on as they are, when given: parameter, omblorctl's option.
VALUE_OPTIONS = [
    ('retries', '--retries'),
    ('retry_delay', '--retry-delay'),
    ('canary', '--canary'),
    ('max_failures', '--max-failures'),
    ('confirm_timeout', '--confirm-timeout'),
    ('parallel', '--parallel'),
]


def command_line(params, check_mode, password_file):
    args = ['update', os.path.abspath(params['file'])] + params['addresses'] + ['--json']
    if params['found']:
        args.append('--found')
    for name, option in VALUE_OPTIONS:
        if params[name] is not None:
            args += [option, str(params[name])]
    if params['confirm']:
        args.append('--confirm')
    if not params['reboot']:
        args.append('--no-reboot')
    if check_mode:
        # A dry run connects to nothing: it needs no credentials and has no attempts to log.
        return args + ['--dry-run']
    if params['user'] is not None:
        args += ['--user', params['user']]
    if password_file:
        args += ['--password-file', password_file]
    if params['log']:
        args += ['--log', params['log']]
    return args


def outcome_sentence(results, counts, fine):
    told = ', '.join('%d %s' % (counts[outcome], outcome) for outcome in sorted(counts))
    failed = sum(1 for r in results if r.get('outcome') not in fine)
    total = len(results)
    if failed:
        return failed, '%d of %d modules not programmed: %s' % (failed, total, told)
    return 0, '%d module%s: %s' % (total, '' if total == 1 else 's', told or 'none')


def write_password_file(module, password):
    # mkstemp creates the file 0600, in Ansible's own temporary folder of this run.
    fd, path = tempfile.mkstemp(prefix='omblor-', dir=module.tmpdir)
    with os.fdopen(fd, 'w') as f:
        f.write(password + '\n')
    return path


def main():
    module = AnsibleModule(
        argument_spec=dict(
            file=dict(type='path', required=True),
            addresses=dict(type='list', elements='str', default=[]),
            found=dict(type='bool', default=False),
            retries=dict(type='int'),
            retry_delay=dict(type='float'),
            canary=dict(type='int'),
            max_failures=dict(type='int'),
            confirm=dict(type='bool', default=False),
            confirm_timeout=dict(type='float'),
            parallel=dict(type='int'),
            reboot=dict(type='bool', default=True),
            user=dict(type='str'),
            password=dict(type='str', no_log=True),
            log=dict(type='path'),
            omblorctl=dict(type='path'),
            allow_failures=dict(type='bool', default=False),
        ),
        required_by=dict(password='user'),
        supports_check_mode=True,
    )
    params = module.params
    if not params['addresses'] and not params['found']:
        module.fail_json(msg='give the modules: addresses, found, or both')
    for address in params['addresses']:
        # omblorctl reads anything starting with a dash as an option.
        if not address or address.startswith('-'):
            module.fail_json(msg='not an address: %r' % address)
    password = params['password']
    if password is not None and ('\n' in password or '\r' in password):
        # omblorctl takes the file's first line; a longer password would be cut short unseen.
        module.fail_json(msg='the password must be one line')

    omblorctl, version = station_omblorctl(module)

    password_file = None
    if password is not None and not module.check_mode:
        password_file = write_password_file(module, password)
    try:
        rc, out, err = module.run_command([omblorctl] + command_line(params, module.check_mode, password_file))
    finally:
        if password_file:
            os.remove(password_file)

    results = json_lines(module, out, 'update')
    counts = {}
    for result in results:
        outcome = result.get('outcome', '')
        counts[outcome] = counts.get(outcome, 0) + 1
    fine = FINE_IN_CHECK_MODE if module.check_mode else FINE
    failed, msg = outcome_sentence(results, counts, fine)
    changed = counts.get('would program' if module.check_mode else 'programmed', 0) > 0
    answer = dict(changed=changed, results=results, counts=counts, not_programmed=failed,
                  omblorctl_version=version, msg=msg)

    # 1 is some module not programmed, which the outcomes tell, or none programmed at all;
    # anything else is omblorctl's own failure, told on stderr: 2 its refusal (usage, file, log,
    # a password it needs and lacks), others a crash, after which outcomes may be missing.
    if rc not in (0, 1):
        # Its last line on stderr: the progress lines come before it.
        said = (err.strip() or 'no message').splitlines()[-1]
        answer['msg'] = 'omblorctl update failed (exit %d): %s' % (rc, said)
        module.fail_json(**answer)
    if rc == 1 and not failed and not module.check_mode:
        # Every module skipped, or none found: nothing failed, yet nothing was programmed.
        answer['msg'] = 'no module programmed: ' + msg
        module.fail_json(**answer)
    if failed and not params['allow_failures']:
        module.fail_json(**answer)
    module.exit_json(**answer)


if __name__ == '__main__':
    main()
