#!/usr/bin/python3
"""The Windows build of the installer end to end under Wine: the 64-bit build, and the
shipping 32-bit build where the machine runs 32-bit code (scripts/test.sh decides).

    installer_wine_e2e.py check <QMVT04Setup.exe> <dlgtool.exe> <mkhost> <source dir>
    installer_wine_e2e.py demo  <QMVT04Setup.exe> <dlgtool.exe> <mkhost> <source dir>

WINEPREFIX must name a prepared prefix with the null display driver and a running
wineserver (source scripts/wine-env.sh <prefix>). Message boxes are invisible there:
dlgtool.exe finds each one by its caption, lists its text and buttons and presses OK. The
icon of each box comes from a relay trace of MessageBoxW.
"""
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import installer_e2e as e2e  # noqa: E402

# The loader scripts/wine-env.sh exports (its default is scripts/lib.sh's); wine64's also
# starts 32-bit programs.
WINE = os.environ.get('WINELOADER', '')
PREFIX = os.environ.get('WINEPREFIX', '')
ICONS = {0x30: '警告', 0x40: '信息'}


def wine(args, **kw):
    env = dict(os.environ, WINEDEBUG='-all')
    return subprocess.run([WINE] + args, env=env, capture_output=True, timeout=120, **kw)


def unix(win):
    assert win[:3].upper() == 'C:\\'
    return os.path.join(PREFIX, 'drive_c', *[p for p in win[3:].split('\\') if p])


def reg_add(key, name, value):
    # The host is a 32-bit program: its machine values live in the 32-bit view.
    r = wine(['reg', 'add', key, '/v', name, '/t', 'REG_SZ', '/d', value, '/f', '/reg:32'])
    if r.returncode != 0:
        raise e2e.Failed('reg add %s failed' % key)


def reset_machine():
    for key in ('HKLM\\Software\\Kestrovan', 'HKCU\\Software\\Kestrovan'):
        wine(['reg', 'delete', key, '/f', '/reg:32'])
        wine(['reg', 'delete', key, '/f'])
    for win in (e2e.HOST_WIN, e2e.TASKS_WIN, 'C:\\ZenTasks2004'):
        shutil.rmtree(unix(win), ignore_errors=True)


def seed(mkhost, version='2.8.11105.3', with_host=True):
    reset_machine()
    os.makedirs(unix(e2e.HOST_WIN))
    os.makedirs(unix(e2e.TASKS_WIN))
    before = b''
    if with_host:
        before = e2e.make_host(mkhost, unix(e2e.HOST_WIN + '\\Zentab04.exe'), version)
    reg_add('HKLM\\Software\\Kestrovan\\Zentab2004', 'RootDir', e2e.HOST_WIN)
    reg_add('HKCU\\Software\\Kestrovan\\Zentab2004\\Options', 'DefaultTaskPath', e2e.TASKS_WIN)
    return before


def run_installer(installer, dlgtool, expected_boxes, show=False):
    """Runs the installer, answers `expected_boxes` boxes; returns (exit code, boxes), each
    box being (caption, icon, text) as dlgtool and the relay trace saw it."""
    wine(['reg', 'add', 'HKCU\\Software\\Wine\\Debug', '/v', 'RelayInclude', '/t', 'REG_SZ',
          '/d', 'user32.MessageBoxW;user32.MessageBoxA', '/f'])
    trace_path = os.path.join(PREFIX, 'installer-relay.log')
    env = dict(os.environ, WINEDEBUG='+relay')
    with open(trace_path, 'wb') as trace:
        proc = subprocess.Popen([WINE, installer], env=env, stdout=subprocess.DEVNULL,
                                stderr=trace)
        listings = []
        try:
            for _ in range(expected_boxes):
                r = wine([dlgtool, '--timeout', '60', e2e.CAPTION, 'list', 'click', '1'])
                out = r.stdout.decode('utf-8', 'replace').replace('\r', '')
                if show:
                    sys.stdout.write(out)
                if r.returncode != 0:
                    raise e2e.Failed('no message box (dlgtool %d): %s' % (r.returncode, out))
                listings.append(out)
            rc = proc.wait(timeout=120)
        finally:
            if proc.poll() is None:
                proc.kill()
    with open(trace_path, 'rb') as f:
        calls = [l for l in f.read().decode('latin-1').splitlines()
                 if re.search(r'Call user32\.MessageBox[AW]\(', l)]
    icons = [int(re.search(r',([0-9a-fA-F]+)\) ret=', l).group(1), 16) & 0xF0 for l in calls]
    result = []
    for i, out in enumerate(listings):
        caption = re.search(r'caption=\[(.*)\]', out).group(1)
        statics = re.findall(r'id=65535 class=Static [^\n]*text=\[(.*)\]', out)
        buttons = re.findall(r'id=(\d+) class=Button', out)
        if buttons != ['1']:
            raise e2e.Failed('buttons %r, OK only expected' % buttons)
        icon = ICONS.get(icons[i], hex(icons[i])) if i < len(icons) else '?'
        result.append((caption, icon, statics[0].replace('\\r', '').replace('\\n', '\n') if statics else ''))
    if len(calls) != expected_boxes:
        raise e2e.Failed('%d message boxes shown, %d expected' % (len(calls), expected_boxes))
    return rc, result


def check_installed(src, before):
    for rel, full in e2e.package_files(src):
        got = unix(e2e.TASKS_WIN + '\\' + e2e.PACKAGE_TOP + '\\' + rel.replace('/', '\\'))
        e2e.expect(os.path.isfile(got), 'missing ' + rel)
        with open(got, 'rb') as a, open(full, 'rb') as b:
            e2e.expect(a.read() == b.read(), 'content of ' + rel)
    with open(unix(e2e.HOST_WIN + '\\Zentab04.exe'), 'rb') as f:
        after = f.read()
    expected = bytearray(before)
    expected[e2e.JUMP_A] = expected[e2e.JUMP_B] = 0x7C
    e2e.expect(after == bytes(expected), 'host bytes after the patch')
    records = e2e.read_dbf(unix(e2e.HOST_WIN + '\\CONFIG.TSK'))
    e2e.expect(len(records) == 1 and records[0][1]['FLAG'] == 'QMVT04' and
               records[0][1]['DIR'] == e2e.TASKS_WIN + '\\' + e2e.TASK_FOLDER,
               'catalog: %r' % records)
    return after


def check(installer, dlgtool, mkhost, src):
    failures = 0

    def scenario(name, fn):
        nonlocal failures
        try:
            fn()
            print('ok   ' + name)
        except e2e.Failed as ex:
            failures += 1
            print('FAIL %s: %s' % (name, ex))

    def full_install():
        before = seed(mkhost)
        rc, shown = run_installer(installer, dlgtool, 1)
        e2e.expect(rc == 0, 'exit code %d' % rc)
        e2e.expect(shown == [(e2e.CAPTION, '信息', e2e.FINISHED)], 'boxes: %r' % shown)
        check_installed(src, before)

    def no_host():
        seed(mkhost, with_host=False)
        rc, shown = run_installer(installer, dlgtool, 1)
        e2e.expect(rc == 0 and shown == [(e2e.CAPTION, '警告', e2e.NO_HOST)], 'boxes: %r' % shown)
        e2e.expect(not os.path.exists(unix(e2e.TASKS_WIN + '\\' + e2e.PACKAGE_TOP)), 'extracted')

    def older_host():
        seed(mkhost, version='2.8.20412.1')
        rc, shown = run_installer(installer, dlgtool, 1)
        e2e.expect(rc == 0 and shown == [(e2e.CAPTION, '信息', e2e.WRONG_VERSION)],
                   'boxes: %r' % shown)

    scenario('full_install_patches_and_registers', full_install)
    scenario('registry_folder_without_host_gives_the_warning', no_host)
    scenario('older_host_gets_the_wrong_version_message', older_host)
    reset_machine()
    return 1 if failures else 0


def demo(installer, dlgtool, mkhost, src):
    before = seed(mkhost)
    print('Wine prefix: ' + PREFIX)
    print('  host folder   %s  (Zentab04.exe 2.8.11105.3, unpatched, made by mkhost)' % e2e.HOST_WIN)
    print('  HKLM\\Software\\Kestrovan\\Zentab2004 (32-bit view)  RootDir = ' + e2e.HOST_WIN)
    print('  HKCU\\Software\\Kestrovan\\Zentab2004\\Options  DefaultTaskPath = ' + e2e.TASKS_WIN)
    print('\n--- QMVT04Setup.exe runs; dlgtool.exe reports each message box and presses OK:')
    rc, shown = run_installer(installer, dlgtool, 1, show=True)
    for caption, icon, text in shown:
        print('box: [%s] (%s) %s' % (caption, icon, text))
    print('--- exit code %d\n' % rc)
    with open(unix(e2e.HOST_WIN + '\\Zentab04.exe'), 'rb') as f:
        after = f.read()
    for name, sig in (('A', 0x0023A58A), ('B', 0x0023B898)):
        print('site %s at 0x%08X  before: %s' % (name, sig, e2e.hexdump_at(before, sig)))
        print('                     after:  %s' % e2e.hexdump_at(after, sig))
    print('\nextracted below %s:' % e2e.TASKS_WIN)
    base = unix(e2e.TASKS_WIN)
    for dirpath, dirs, files in sorted(os.walk(base)):
        rel = os.path.relpath(dirpath, base)
        for f in sorted(files):
            print('  %-60s %6d bytes' % (os.path.join(rel, f).replace('/', '\\'),
                                       os.path.getsize(os.path.join(dirpath, f))))
    config = unix(e2e.HOST_WIN + '\\CONFIG.TSK')
    print('\nthe host catalog %s\\CONFIG.TSK:' % e2e.HOST_WIN)
    dbfdump = os.environ.get('DBFDUMP')
    if dbfdump and os.access(dbfdump, os.X_OK):
        subprocess.run([dbfdump, config])
    else:
        for _, values in e2e.read_dbf(config):
            print('  ' + ', '.join('%s=%s' % kv for kv in values.items() if kv[1]))
    return rc


if __name__ == '__main__':
    if not PREFIX:
        sys.exit('WINEPREFIX is not set (source scripts/wine-env.sh <prefix> first)')
    if not WINE:
        sys.exit('WINELOADER is not set (source scripts/wine-env.sh <prefix> first)')
    mode, installer, dlgtool, mkhost, src = sys.argv[1:6]
    sys.exit((check if mode == 'check' else demo)(installer, dlgtool, mkhost, src))
