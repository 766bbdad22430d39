# -*- coding: utf-8 -*-
# The controller's side of the zeltrim module: runs the module, and where the host has no
# zeltrim of its own (nor `executable`), carries the statically linked one this collection holds
# in files/ into the remote temporary folder and runs the module again with it. It never
# installs anything on the host: the copy goes with the temporary folder.

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import os

from ansible.plugins.action import ActionBase

# What the carried program runs on, as `uname -sm` names it.
CARRIED_SYSTEM = ["Linux", "x86_64"]
CARRIED = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "files", "zeltrim")
PACKAGES = "install the zeltrim package (.deb or .rpm) on the host, or set `executable`"


class ActionModule(ActionBase):

    def run(self, tmp=None, task_vars=None):
        self._supports_check_mode = True
        self._supports_async = True
        result = super(ActionModule, self).run(tmp, task_vars)
        del tmp  # tmp no longer has any effect
        # An async job's result comes later, so it cannot fall back on the carried program.
        wrap_async = self._task.async_val and not self._connection.has_native_async
        result.update(self._execute_module(task_vars=task_vars, wrap_async=wrap_async))
        if result.pop("_zeltrim_missing", False) and not wrap_async:
            result = self._run_carried(task_vars)
        if not wrap_async:
            self._remove_tmp_path(self._connection._shell.tmpdir)
        return result

    def _run_carried(self, task_vars):
        """The module's result with the carried program, or why it cannot be carried."""
        if not os.path.isfile(CARRIED):
            return dict(failed=True, msg="no zeltrim on the host's PATH, and this copy of the "
                        "zeltrim.edit collection carries none (the archive ZELTRIM's build makes "
                        "does): %s to the program's path" % PACKAGES)
        system = self._low_level_execute_command("uname -sm", sudoable=False)
        found = system.get("stdout", "").split()
        if system.get("rc") != 0 or found != CARRIED_SYSTEM:
            return dict(failed=True, msg="no zeltrim on the host's PATH, and the zeltrim the "
                        "collection carries runs on x86-64 Linux only, not on this host (%s): "
                        "%s to a zeltrim built for it"
                        % (" ".join(found) or "uname -sm failed", PACKAGES))
        if self._connection._shell.tmpdir is None:
            self._make_tmp_path()
        tmpdir = self._connection._shell.tmpdir
        program = self._connection._shell.join_path(tmpdir, "zeltrim")
        self._transfer_file(CARRIED, program)
        self._fixup_perms2((tmpdir, program), execute=True)
        args = dict(self._task.args, executable=program, _carried=True)
        return self._execute_module(module_args=args, task_vars=task_vars)
