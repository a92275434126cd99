#!/usr/bin/python3
"""The real installer program against a demonstration machine of its own.

    installer_e2e.py check <installer> <mkhost> <source dir>   run the scenarios, assert
    installer_e2e.py demo  <installer> <mkhost> <source dir>   one run, show what changed

The native program models Windows through a prefix (as Wine lays one out): drive C: is
<prefix>/drive_c, HKEY_LOCAL_MACHINE is <prefix>/system.reg, HKEY_CURRENT_USER is user.reg.
Message boxes are printed as "[caption] (icon)" and the text; the folder dialog reads a
folder from standard input (an empty line cancels).
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

CAPTION = '2004年度企业QMVT考核任务 参数安装'
FINISHED = '《2004年度企业QMVT考核任务》参数安装完毕！'
NO_HOST = '找不到《Zentab2004》安装位置，参数安装失败！'
WRONG_VERSION = ('你当前使用的《Zentab2004》版本不对，请从Kestrovan公司网站下载最新版本名，'
                 '否则“QMVT标准值提取”功能无法正常使用！')
TASK_FOLDER = '2004年度企业QMVT考核任务.tsk'
PACKAGE_TOP = '2004年度企业QMVT考核任务.TSK'
JUMP_A, JUMP_B = 0x0023A592, 0x0023B8A0

HOST_WIN = 'C:\\Program Files\\Zentab 2004主机'
TASKS_WIN = 'C:\\任务库'


def reg_escape(text):
    out = []
    for ch in text:
        if ch == '\\' or ch == '"':
            out.append('\\' + ch)
        elif ord(ch) < 0x80:
            out.append(ch)
        else:
            out.append('\\x%04x' % ord(ch))
    return ''.join(out)


class Machine:
    def __init__(self, root):
        self.root = root
        os.makedirs(os.path.join(root, 'drive_c', 'windows'))
        os.makedirs(os.path.join(root, 'drive_c', 'users', self.user(), 'Temp'))
        os.makedirs(os.path.join(root, 'dosdevices'))
        os.symlink('../drive_c', os.path.join(root, 'dosdevices', 'c:'))
        os.symlink('/', os.path.join(root, 'dosdevices', 'z:'))
        self.hklm = {}
        self.hkcu = {}
        self.write_hives()

    @staticmethod
    def user():
        import pwd
        return pwd.getpwuid(os.geteuid()).pw_name

    def unix(self, win):
        assert win[:3].upper() == 'C:\\'
        return os.path.join(self.root, 'drive_c', *[p for p in win[3:].split('\\') if p])

    def temp_dir(self):
        return os.path.join(self.root, 'drive_c', 'users', self.user(), 'Temp')

    def write_hives(self):
        for name, keys, rel in (('system.reg', self.hklm, 'Machine'), ('user.reg', self.hkcu, 'User\\\\S-1-5-21-0-0-0-1000')):
            lines = ['WINE REGISTRY Version 2', ';; All keys relative to \\\\' + rel, '']
            for key, values in keys.items():
                lines.append('[%s] 1700000000' % key.replace('\\', '\\\\'))
                for vname, value in values.items():
                    lines.append('"%s"="%s"' % (vname, reg_escape(value)))
                lines.append('')
            with open(os.path.join(self.root, name), 'w') as f:
                f.write('\n'.join(lines) + '\n')

    def set_value(self, hive, key, name, value):
        (self.hklm if hive == 'HKLM' else self.hkcu).setdefault(key, {})[name] = value
        self.write_hives()

    def run(self, installer, stdin=''):
        env = dict(os.environ, WINEPREFIX=self.root, LC_ALL='C.UTF-8')
        p = subprocess.run([installer], input=stdin.encode(), capture_output=True, env=env,
                           timeout=120)
        return p.returncode, p.stdout.decode('utf-8'), p.stderr.decode('utf-8', 'replace')


def boxes(stdout):
    """[(caption, icon, text)] from the native program's message-box print-out."""
    out = []
    lines = stdout.splitlines()
    i = 0
    while i < len(lines):
        line = lines[i]
        if line.startswith('[') and '] (' in line and i + 1 < len(lines):
            caption, icon = line[1:].split('] (', 1)
            out.append((caption, icon.rstrip(')'), lines[i + 1]))
            i += 2
        else:
            i += 1
    return out


def read_dbf(path):
    """Records of a dBASE table as dicts of stripped GBK-decoded texts."""
    with open(path, 'rb') as f:
        data = f.read()
    count, header_len, record_len = struct.unpack_from('<IHH', data, 4)
    fields, pos = [], 32
    while data[pos] != 0x0D:
        name = data[pos:pos + 11].split(b'\0')[0].decode('ascii').upper()
        fields.append((name, data[pos + 16]))
        pos += 32
    records = []
    for r in range(count):
        rec = data[header_len + r * record_len: header_len + (r + 1) * record_len]
        values, off = {}, 1
        for name, width in fields:
            values[name] = rec[off:off + width].decode('gbk', 'replace').rstrip(' ')
            off += width
        records.append((rec[0:1], values))
    return records


def make_host(mkhost, path, version, sites='unpatched'):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run([mkhost, path, '--version', version, '--sites', sites], check=True)
    with open(path, 'rb') as f:
        return f.read()


def package_files(src):
    top = os.path.join(src, 'package', PACKAGE_TOP)
    for dirpath, _, files in os.walk(top):
        for name in files:
            full = os.path.join(dirpath, name)
            yield os.path.relpath(full, top), full


class Failed(Exception):
    pass


def expect(cond, what):
    if not cond:
        raise Failed(what)


def seeded_machine(root, mkhost, version='2.8.11105.3'):
    m = Machine(root)
    host_bytes = make_host(mkhost, m.unix(HOST_WIN + '\\Zentab04.exe'), version)
    os.makedirs(m.unix(TASKS_WIN))
    m.set_value('HKLM', 'Software\\Kestrovan\\Zentab2004', 'RootDir', HOST_WIN)
    m.set_value('HKCU', 'Software\\Kestrovan\\Zentab2004\\Options', 'DefaultTaskPath',
                TASKS_WIN)
    return m, host_bytes


def check(installer, mkhost, src):
    scenarios = []

    def scenario(fn):
        scenarios.append(fn)
        return fn

    @scenario
    def full_install_patches_registers_and_is_repeatable(root):
        m, before = seeded_machine(root, mkhost)
        # A stale file in the task folder is replaced without a question.
        stale = m.unix(TASKS_WIN + '\\' + PACKAGE_TOP + '\\TASKSIGN.TSK')
        os.makedirs(os.path.dirname(stale))
        with open(stale, 'wb') as f:
            f.write(b'old')
        rc, out, err = m.run(installer)
        expect(rc == 0, 'exit code %d: %s' % (rc, err))
        expect(boxes(out) == [(CAPTION, '信息', FINISHED)], 'boxes: %r' % boxes(out))
        for rel, full in package_files(src):
            got = m.unix(TASKS_WIN + '\\' + PACKAGE_TOP + '\\' + rel.replace('/', '\\'))
            expect(os.path.isfile(got), 'missing ' + rel)
            with open(got, 'rb') as a, open(full, 'rb') as b:
                expect(a.read() == b.read(), 'content of ' + rel)
        for sub in ('ANALDATA', 'ANALPARA', 'DATA', 'PARA', 'QUERY', 'TEMP'):
            expect(os.path.isdir(m.unix(TASKS_WIN + '\\' + PACKAGE_TOP + '\\' + sub)),
                   'folder ' + sub)
        with open(m.unix(HOST_WIN + '\\Zentab04.exe'), 'rb') as f:
            after = f.read()
        expected = bytearray(before)
        expected[JUMP_A] = expected[JUMP_B] = 0x7C
        expect(after == bytes(expected), 'host bytes after the patch')
        expect(os.listdir(m.temp_dir()) == [], 'temporary folder: %r' % os.listdir(m.temp_dir()))
        records = read_dbf(m.unix(HOST_WIN + '\\CONFIG.TSK'))
        expect(len(records) == 1, 'catalog records: %r' % records)
        flag, values = records[0]
        expect(values['FLAG'] == 'QMVT04' and values['NAME'] == '2004年度企业QMVT考核任务'
               and values['DIR'] == TASKS_WIN + '\\' + TASK_FOLDER and values['YEAR'] == '2004'
               and values['PERIOD'] == 'N' and values['VERSION'] == '20040315120000',
               'catalog record: %r' % values)
        # Again: the patched host is accepted, the registration is not duplicated.
        rc, out, err = m.run(installer)
        expect(rc == 0 and boxes(out) == [(CAPTION, '信息', FINISHED)], 'second run: %r' % out)
        expect(len(read_dbf(m.unix(HOST_WIN + '\\CONFIG.TSK'))) == 1, 'second run registered again')

    @scenario
    def newer_host_is_left_alone(root):
        m, before = seeded_machine(root, mkhost, '2.8.20412.2')
        rc, out, _ = m.run(installer)
        expect(rc == 0 and boxes(out) == [(CAPTION, '信息', FINISHED)], repr(out))
        with open(m.unix(HOST_WIN + '\\Zentab04.exe'), 'rb') as f:
            expect(f.read() == before, 'host changed')

    @scenario
    def older_host_gets_the_wrong_version_message(root):
        m, _ = seeded_machine(root, mkhost, '2.8.20412.1')
        rc, out, _ = m.run(installer)
        expect(rc == 0 and boxes(out) == [(CAPTION, '信息', WRONG_VERSION)], repr(out))

    @scenario
    def registry_folder_without_host_gives_the_warning_only(root):
        m, _ = seeded_machine(root, mkhost)
        os.remove(m.unix(HOST_WIN + '\\Zentab04.exe'))
        rc, out, _ = m.run(installer)
        expect(rc == 0 and boxes(out) == [(CAPTION, '警告', NO_HOST)], repr(out))
        expect(not os.path.exists(m.unix(TASKS_WIN + '\\' + PACKAGE_TOP)), 'extracted anyway')

    @scenario
    def without_registry_the_operator_names_the_folder_or_cancels(root):
        m = Machine(root)
        make_host(mkhost, m.unix(HOST_WIN + '\\Zentab04.exe'), '2.9.0.0')
        rc, out, _ = m.run(installer, '\n')
        expect(rc == 0 and boxes(out) == [], 'cancel: %r' % out)
        expect(not os.path.exists(m.unix('C:\\ZenTasks2004')), 'extracted after cancel')
        rc, out, _ = m.run(installer, HOST_WIN.replace('\\', '\\') + '\n')
        expect(rc == 0 and boxes(out) == [(CAPTION, '信息', FINISHED)], 'chosen: %r' % out)
        expect(os.path.isfile(m.unix('C:\\ZenTasks2004\\' + PACKAGE_TOP + '\\TASKSIGN.TSK')),
               'the default task path was not used')

    failures = 0
    for fn in scenarios:
        root = tempfile.mkdtemp(prefix='orb-e2e-')
        try:
            fn(root)
            print('ok   ' + fn.__name__)
        except Failed as e:
            failures += 1
            print('FAIL ' + fn.__name__ + ': ' + str(e))
        finally:
            shutil.rmtree(root, ignore_errors=True)
    return 1 if failures else 0


def hexdump_at(data, offset):
    return ' '.join('%02X' % b for b in data[offset:offset + 12])


def demo(installer, mkhost, src):
    root = tempfile.mkdtemp(prefix='qmvt04-demo-')
    m, before = seeded_machine(root, mkhost)
    print('Demonstration machine (a prefix): ' + root)
    print('  host folder   %s  (Zentab04.exe 2.8.11105.3, unpatched, made by mkhost)' % HOST_WIN)
    print('  HKLM\\Software\\Kestrovan\\Zentab2004  RootDir = ' + HOST_WIN)
    print('  HKCU\\Software\\Kestrovan\\Zentab2004\\Options  DefaultTaskPath = ' + TASKS_WIN)
    print('\n--- the installer runs; its message boxes:')
    rc, out, err = m.run(installer)
    sys.stdout.write(out)
    sys.stderr.write(err)
    print('--- exit code %d\n' % rc)
    with open(m.unix(HOST_WIN + '\\Zentab04.exe'), 'rb') as f:
        after = f.read()
    for name, sig in (('A', 0x0023A58A), ('B', 0x0023B898)):
        print('site %s at 0x%08X  before: %s' % (name, sig, hexdump_at(before, sig)))
        print('                     after:  %s' % hexdump_at(after, sig))
    print('\nextracted below %s:' % TASKS_WIN)
    base = m.unix(TASKS_WIN)
    for dirpath, dirs, files in sorted(os.walk(base)):
        rel = os.path.relpath(dirpath, base)
        for d in sorted(dirs):
            print('  %s\\' % os.path.join(rel, d).replace('/', '\\').lstrip('.\\'))
        for f in sorted(files):
            print('  %-60s %6d bytes' % (os.path.join(rel, f).replace('/', '\\'),
                                       os.path.getsize(os.path.join(dirpath, f))))
    config = m.unix(HOST_WIN + '\\CONFIG.TSK')
    print('\nthe host catalog %s\\CONFIG.TSK:' % HOST_WIN)
    dbfdump = os.environ.get('DBFDUMP')
    if dbfdump and os.access(dbfdump, os.X_OK):
        subprocess.run([dbfdump, config])
    else:
        for deleted, values in read_dbf(config):
            print('  ' + ', '.join('%s=%s' % kv for kv in values.items() if kv[1]))
    print('\n(the demonstration machine stays in %s)' % root)
    return rc


if __name__ == '__main__':
    mode, installer, mkhost, src = sys.argv[1:5]
    sys.exit(check(installer, mkhost, src) if mode == 'check' else demo(installer, mkhost, src))
