#!/usr/bin/env python3
"""The installer's whole life under Wine, in a prefix of its own.

Makes the packages with tools/package from this build's release DLLs,
signed with a certificate made on the spot, and checks the signatures; then,
in one prefix with the example lesson's units behind COM2 to COM4:

  older package, then this one over it   a major upgrade: the old product
                                         is gone, the files are the new ones
  the example lesson                     against what the installer registered
  repair                                 restores a deleted DLL and a deleted key
  the older package again                refused, nothing changed
  removal                                no file and no key of ours is left;
                                         the remembered ports stay (the user's)
  regsvr32 on the same files             writes the same tree the package wrote
  per user (MSIINSTALLPERUSER=1 ALLUSERS=2)  HKCU\\Software\\Classes and the
                                         user's profile, nothing for the machine
  the 32-bit package on 64-bit Windows   refused

Registry states are read with reg.exe, all of a state in one Wine process,
and compared as differences from the prefix's state before anything was
installed, so that a key written anywhere shows up, not only where this
test thinks of looking.

  lifecycle.py --arch x64|x86 --win64 DIR --win32 DIR --host DIR --run DIR
"""
import argparse
import glob
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import time

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
# Wine passes a program's exit code to Linux cut to its low byte.
INSTALL_FAILURE = 1603 & 0xFF
OLDER_VERSION = "1.0.0"
MB = 1 << 20
# The remembered ports: the user's data, which removal leaves in place.
SETTINGS_KEY = "orvocorp\\controls\\cai\\orvotrainer"  # below the user's Software
# The installer's own records of what is installed, not registration.
INSTALLER_KEYS = ("installer\\", "microsoft\\installer\\", "microsoft\\windows\\currentversion\\installer\\")


class Failed(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failed(message)


def step(text):
    print("== %s" % text, flush=True)


def run(command, env=None, **kwargs):
    return subprocess.run(command, env=env, capture_output=True, text=True, errors="replace", **kwargs)


def sha(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def windows_path(path):
    return "Z:" + os.path.realpath(path).replace("/", "\\")


def file_version(path):
    """The DLL's version record (VS_FIXEDFILEINFO) as "a.b.c.d"."""
    with open(path, "rb") as f:
        data = f.read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    check(at >= 0, "%s has no version record" % path)
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def version_text(path, name):
    """A string of the version record's StringFileInfo ("FileVersion")."""
    with open(path, "rb") as f:
        data = f.read()
    key = (name + "\0").encode("utf-16-le")
    at = data.find(key)
    check(at >= 0, "%s has no %s in its version record" % (path, name))
    at += len(key)
    at += (4 - at % 4) % 4  # the value starts on a 32-bit boundary
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le")


def pe_machine(path):
    with open(path, "rb") as f:
        data = f.read(4096)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    return {0x8664: "x64", 0x14C: "x86"}.get(struct.unpack_from("<H", data, pe + 4)[0], "?")


class Prefix:
    def __init__(self, args):
        self.arch = args.arch
        self.run_dir = os.path.realpath(args.run)
        self.path = os.path.join(self.run_dir, "prefix")
        self.loader = args.loader
        self.env = dict(os.environ, WINEPREFIX=self.path, WINEDEBUG="-all", ORVO_WINE_LOADER=self.loader,
                        WINEDLLOVERRIDES="mscoree,mshtml=", ORVOTRAINER_SIMULATE="")
        self.drive = os.path.join(self.path, "drive_c")
        # Where each build goes per machine: on 64-bit Windows the 32-bit
        # one goes to the 32-bit programs' folder.
        if self.arch == "x64":
            self.machine_dirs = {"x64": "Program Files", "x86": "Program Files (x86)"}
            self.views = ("/reg:64", "/reg:32")
        else:
            self.machine_dirs = {"x86": "Program Files"}
            self.views = ("",)

    def wine(self, *args, timeout=240):
        return run([self.loader, *args], env=self.env, timeout=timeout, stdin=subprocess.DEVNULL)

    def msiexec(self, *args):
        log = os.path.join(self.run_dir, "msiexec-%d.log" % time.monotonic_ns())
        started = time.monotonic()
        result = self.wine("msiexec", *args, "/qn", "/l*v", windows_path(log))
        print("   msiexec %s: exit %d, %.1f s" % (" ".join(args), result.returncode, time.monotonic() - started))
        with open(log, "rb") as f:
            text = f.read().decode("utf-8", "replace").replace("\0", "")
        return result.returncode, text

    def installed(self, build, per_user=False):
        if per_user:
            profiles = glob.glob(os.path.join(self.drive, "users", "*", "AppData", "Local"))
            profiles = [p for p in profiles if "public" not in p.lower()]
            check(len(profiles) == 1, "not one user profile in the prefix: %s" % profiles)
            return os.path.join(profiles[0], "Programs", "OrvoTrainer", build, "OrvoTrainer.dll")
        return os.path.join(self.drive, self.machine_dirs[build], "OrvoTrainer", build, "OrvoTrainer.dll")

    def our_files(self):
        """Every file or folder named OrvoTrainer* in the prefix's C:."""
        found = []
        for root, dirs, files in os.walk(self.drive):
            found += [os.path.join(root, n) for n in dirs + files if n.lower().startswith("orvotrainer")]
        return sorted(found)

    def state(self):
        """The registry below the machine's classes (each view) and the
        user's Software, as {(hive, key): {value name: (type, data)}}, key
        names in lower case since the registry ignores case."""
        batch = os.path.join(self.run_dir, "state.bat")
        queries = [("HKLM\\Software\\Classes", view, "machine" + view) for view in self.views]
        queries.append(("HKCU\\Software", "", "user"))
        with open(batch, "w", newline="\r\n") as f:
            f.write("@echo off\n")
            for key, view, name in queries:
                f.write("echo ##### %s\nreg query \"%s\" /s %s\n" % (name, key, view))
        result = self.wine("cmd", "/c", windows_path(batch))
        tree, hive, current, root = {}, None, None, None
        roots = {name: key.replace("HKLM", "HKEY_LOCAL_MACHINE").replace("HKCU", "HKEY_CURRENT_USER").lower()
                 for key, _, name in queries}
        for line in result.stdout.replace("\r", "").splitlines():
            if line.startswith("##### "):
                hive = line[6:]
                root = roots[hive]
                continue
            if line.startswith("HKEY_"):
                key = line.lower()
                check(key.startswith(root), "reg printed a key outside %s: %s" % (root, line))
                key = key[len(root):].lstrip("\\")
                # Wine shows the 32-bit view inside the 64-bit one too; it
                # is read on its own, as the 32-bit programs see it.
                if hive == "machine/reg:64" and key.split("\\")[0] == "wow6432node":
                    current = None
                    continue
                current = tree.setdefault((hive, key), {})
            elif line.startswith("    ") and current is not None:
                parts = line[4:].split("    ", 2) + ["", ""]
                name = "@" if parts[0] == "(Default)" else parts[0].lower()
                current[name] = (parts[1], parts[2])
        check(len({h for h, _ in tree}) == len(queries), "reg query read only part of the registry:\n"
              + result.stdout[-2000:] + result.stderr[-2000:])
        return tree


def windows_installed(prefix, build):
    return "c:" + prefix.installed(build)[len(prefix.drive):].replace("/", "\\").lower()


def difference(before, after):
    """What `after` has that `before` has not, or has otherwise: new keys
    (with all their values) and new or changed values; and what it lost."""
    added, lost = {}, []
    for key, values in after.items():
        old = before.get(key)
        if old is None:
            added[key] = dict(values)
            continue
        changed = {n: v for n, v in values.items() if old.get(n) != v}
        if changed:
            added[key] = changed
    for key, values in before.items():
        if key not in after:
            lost.append(key)
        else:
            lost += [(key, n) for n in values if n not in after[key]]
    return added, lost


def registration(added):
    """The registration part of a difference: without the installer's own
    records and the user's remembered ports."""
    def ours(key):
        path = key[1]
        if key[0] == "user":
            if path == "orvocorp" or path.startswith("orvocorp\\"):
                return False
            path = path[len("classes\\"):] if path.startswith("classes\\") else path
        return not any(path.startswith(p) or path + "\\" == p for p in INSTALLER_KEYS)
    return {k: v for k, v in added.items() if ours(k)}


def show(tree):
    lines = []
    for (hive, key), values in sorted(tree.items()):
        lines.append("  [%s] %s%s" % (hive, key, "" if values is not None else "  (no such key)"))
        lines += ["      %s = %s %s" % (n, t, d) for n, (t, d) in sorted((values or {}).items())]
    return "\n".join(lines) or "  (nothing)"


def compare(what, expected, actual):
    if expected != actual:
        only_e = {k: v for k, v in expected.items() if actual.get(k) != v}
        only_a = {k: v for k, v in actual.items() if expected.get(k) != v}
        raise Failed("%s differ.\nregsvr32 wrote:\n%s\nthe package wrote:\n%s"
                     % (what, show(only_e), show(only_a)))


def make_packages(args, out, cert, key, version=None):
    command = [os.path.join(TOP, "tools", "package"), "--win64", args.win64, "--win32", args.win32,
               "--host", args.host, "--out", out, "--sign", cert, key]
    if version:
        command += ["--product-version", version]
    result = run(command)
    check(result.returncode == 0, "tools/package failed:\n" + result.stdout + result.stderr)
    return {arch: os.path.join(out, "OrvoTrainer-%s.msi" % arch) for arch in ("x64", "x86")}


def msi_property(msi, name):
    result = run(["msiinfo", "export", msi, "Property"])
    for line in result.stdout.splitlines():
        parts = line.split("\t")
        if parts[0] == name:
            return parts[1]
    raise Failed("%s has no property %s" % (msi, name))


def verify_signature(path, cert):
    return run(["osslsigncode", "verify", "-CAfile", cert, "-in", path]).returncode == 0


def check_packages(packages, cert):
    """Signatures, sizes, the versions and which DLL went where."""
    step("signatures, sizes and versions")
    builds = {"x64": ("x64", "x86"), "x86": ("x86",)}
    for arch, msi in packages.items():
        check(verify_signature(msi, cert), "%s: the signature does not verify" % msi)
        unpacked = os.path.join(os.path.dirname(msi), "unpacked-" + arch)
        shutil.rmtree(unpacked, ignore_errors=True)
        result = run(["msiextract", "-C", unpacked, msi])
        check(result.returncode == 0, "msiextract %s failed: %s" % (msi, result.stderr))
        dlls = sorted(glob.glob(os.path.join(unpacked, "**", "OrvoTrainer.dll"), recursive=True))
        check(len(dlls) == len(builds[arch]), "%s holds %d DLLs: %s" % (msi, len(dlls), dlls))
        product = msi_property(msi, "ProductVersion")
        for dll in dlls:
            build = os.path.basename(os.path.dirname(dll))
            check(pe_machine(dll) == build, "%s: the %s folder holds a %s DLL" % (msi, build, pe_machine(dll)))
            check(verify_signature(dll, cert), "%s: the packaged %s DLL's signature does not verify" % (msi, build))
            size = os.path.getsize(dll)
            check(size < MB, "%s: the %s DLL is %d bytes, over 1 MB" % (msi, build, size))
            version = file_version(dll)
            check(version.startswith(product + "."),
                  "%s: ProductVersion %s, but the %s DLL's version record says %s" % (msi, product, build, version))
            for name in ("FileVersion", "ProductVersion"):
                check(version_text(dll, name) == version, "the %s DLL's %s is %s, its version numbers %s"
                      % (build, name, version_text(dll, name), version))
            print("   %s: %s DLL %d bytes, version %s, signed" % (os.path.basename(msi), build, size, version))
        print("   %s: %d bytes, ProductVersion %s, signed" % (os.path.basename(msi), os.path.getsize(msi), product))
    # A signature that verifies whatever it is put on would be no check.
    dll = glob.glob(os.path.join(os.path.dirname(packages["x86"]), "unpacked-x86", "**", "OrvoTrainer.dll"),
                    recursive=True)[0]
    tampered = dll + ".tampered"
    with open(dll, "rb") as f:
        data = bytearray(f.read())
    data[len(data) // 2] ^= 0xFF
    with open(tampered, "wb") as f:
        f.write(data)
    check(not verify_signature(tampered, cert), "a DLL changed after signing still verifies")
    tampered = packages["x86"] + ".tampered"
    shutil.copyfile(packages["x86"], tampered)
    run(["msibuild", tampered, "-q", "UPDATE Property SET Value='0' WHERE Property='ARPNOMODIFY'"])
    check(not verify_signature(tampered, cert), "a package changed after signing still verifies")


def lifecycle(args, prefix, packages, older, builds):
    arch = args.arch
    msi, old_msi = packages[arch], older[arch]
    shipped = {b: sha(os.path.join(os.path.dirname(msi), "package", b, "OrvoTrainer.dll")) for b in builds}
    baseline = prefix.state()

    step("the older package, then this one over it")
    code, _ = prefix.msiexec("/i", windows_path(old_msi))
    check(code == 0, "the older package did not install (exit %d)" % code)
    old_product = msi_property(old_msi, "ProductCode")
    # Changed files must not survive an upgrade: the old product is removed
    # first, so the new files land whatever the old ones had become.
    for build in builds:
        with open(prefix.installed(build), "ab") as f:
            f.write(b"left over from the older version")
    code, _ = prefix.msiexec("/i", windows_path(msi))
    check(code == 0, "the upgrade failed (exit %d)" % code)
    for build in builds:
        check(sha(prefix.installed(build)) == shipped[build], "the upgrade left the older %s DLL" % build)
    uninstall = prefix.wine("reg", "query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                            *([prefix.views[0]] if prefix.views[0] else [])).stdout.upper()
    check(old_product.upper() not in uninstall, "the older product is still installed beside the new one")
    check(msi_property(msi, "ProductCode").upper() in uninstall, "the new product is not listed as installed")
    package_tree = registration(difference(baseline, prefix.state())[0])
    for_user = {k: v for k, v in package_tree.items() if k[0] == "user"}
    check(for_user == {}, "the per-machine install wrote for the user:\n" + show(for_user))
    # Each view's classes load the build of that view; only the type
    # library key, which both views share, names both builds' files.
    view_build = {"machine/reg:64": "x64", "machine/reg:32": "x86", "machine": "x86"}
    for (hive, key), values in package_tree.items():
        owner = key.rsplit("\\", 1)[-1] if key.startswith("typelib\\") else None
        owner = {"win64": "x64", "win32": "x86"}.get(owner, view_build[hive])
        for name, (_, data) in values.items():
            if data.lower().endswith("orvotrainer.dll"):
                check(data.lower() == windows_installed(prefix, owner),
                      "%s in %s names %s, not the %s build" % (key, hive, data, owner))

    step("the example lesson against what the package registered")
    result = run([os.path.join(TOP, "tests", "e2e", "run-lesson"), os.path.join(args.host, "sim", "orvo-sim"),
                  os.path.join(prefix.run_dir, "units", "sim.control"), "-",
                  os.path.join(TOP, "examples", "lesson.vbs"), os.path.join(TOP, "examples", "lesson.units")],
                 env=prefix.env, timeout=240)
    print("   " + result.stdout.strip().replace("\n", "\n   "))
    check(result.returncode == 0, "the lesson failed:\n" + result.stdout + result.stderr)
    # Wine registers some of its own libraries when a script first runs;
    # those are neither ours nor leftovers.
    after_lesson = prefix.state()
    wine_own = set(registration(difference(baseline, after_lesson)[0])) - set(package_tree)

    step("repair")
    first = builds[0]
    os.remove(prefix.installed(first))
    inproc = "HKLM\\Software\\Classes\\CLSID\\{9E3C51A4-6D27-4B8E-A1F0-5B7C2E94D613}\\InprocServer32"
    prefix.wine("reg", "delete", inproc, "/f", *([prefix.views[0]] if prefix.views[0] else []))
    # The repair as REINSTALL properties: Wine's msiexec refuses /f with
    # 1605, and on Windows this is the same operation as /fomus.
    code, _ = prefix.msiexec("/i", windows_path(msi), "REINSTALL=ALL", "REINSTALLMODE=omus")
    check(code == 0, "the repair failed (exit %d)" % code)
    check(os.path.exists(prefix.installed(first)) and sha(prefix.installed(first)) == shipped[first],
          "the repair did not restore the deleted %s DLL" % first)
    added, lost = difference(after_lesson, prefix.state())
    check(registration(added) == {} and lost == [], "after the repair the registry is not what the package wrote:\n"
          "added or changed:\n%s\nlost: %s" % (show(registration(added)), lost))

    step("the older package over this one")
    code, log = prefix.msiexec("/i", windows_path(old_msi))
    check(code == INSTALL_FAILURE, "installing the older package over the newer one gave exit %d, not 1603" % code)
    check("WIX_DOWNGRADE_DETECTED" in log, "the refusal was not for the newer version installed")
    for build in builds:
        check(sha(prefix.installed(build)) == shipped[build], "the refused downgrade changed the %s DLL" % build)
    added, lost = difference(after_lesson, prefix.state())
    check(registration(added) == {} and lost == [], "the refused downgrade changed the registry:\n%s\nlost: %s"
          % (show(registration(added)), lost))

    step("removal")
    code, _ = prefix.msiexec("/x", windows_path(msi))
    check(code == 0, "the removal failed (exit %d)" % code)
    check(prefix.our_files() == [], "the removal left files: %s" % prefix.our_files())
    removed = prefix.state()
    added, lost = difference(baseline, removed)
    left = {k: v for k, v in registration(added).items() if k not in wine_own}
    check(left == {}, "the removal left registry entries:\n" + show(left))
    # Windows Installer deletes the keys its removal leaves empty; a key that
    # was empty before (the 32-bit view's CLSID in a prefix without its
    # 32-bit side) may go with them, which costs nothing.
    lost = [k for k in lost if isinstance(k[1], tuple) or baseline[k] or
            any(h == k[0] and p.startswith(k[1] + "\\") for h, p in baseline)]
    check(lost == [], "the removal took entries that were there before: %s" % lost)
    remembered = {k: v for k, v in added.items() if k[0] == "user" and k[1].startswith(SETTINGS_KEY)}
    check(any("brixport_5" in v for v in remembered.values()),
          "the console's remembered port did not survive the removal (it is the user's): %s" % remembered)

    step("regsvr32 on the same files writes what the package wrote")
    registered = []
    # Both builds write the library's version key; the package has the
    # 64-bit build's values there, as when the 64-bit DLL registers last.
    for build in reversed(builds):
        target = prefix.installed(build)
        os.makedirs(os.path.dirname(target))
        shutil.copyfile(os.path.join(os.path.dirname(msi), "package", build, "OrvoTrainer.dll"), target)
        # The 32-bit build registers through the 32-bit regsvr32, in its view;
        # on 64-bit Windows that needs a 64-bit prefix with its 32-bit side.
        regsvr32 = "regsvr32"
        if arch == "x64" and build == "x86":
            if not args.wine32:
                print("   the 32-bit view: not compared, this machine runs no 32-bit Wine")
                continue
            regsvr32 = "C:\\windows\\syswow64\\regsvr32.exe"
        result = prefix.wine(regsvr32, "/s", "C:\\%s\\OrvoTrainer\\%s\\OrvoTrainer.dll"
                             % (prefix.machine_dirs[build], build))
        check(result.returncode == 0, "regsvr32 of the %s DLL failed: %s" % (build, result.stderr))
        registered.append(build)
    regsvr32_tree = registration(difference(removed, prefix.state())[0])
    views = {"x64": "machine/reg:64", "x86": "machine/reg:32" if arch == "x64" else "machine"}
    unregistered = [b for b in builds if b not in registered]
    for hive in sorted({views[b] for b in builds}):
        written = {k: v for k, v in regsvr32_tree.items() if k[0] == hive}
        packaged = {k: v for k, v in package_tree.items() if k[0] == hive}
        if not unregistered:
            compare("the rows in %s" % hive, written, packaged)
            print("   %s: %d keys, the same as regsvr32's" % (hive, len(packaged)))
            continue
        # Without a 32-bit regsvr32, what the 32-bit build writes cannot be
        # compared: everything regsvr32 wrote must be in the package as it
        # is, and what else the package wrote must be the 32-bit build's:
        # its own view, or its subkey of the (shared) type library key.
        compare("the rows in %s" % hive, written, {k: packaged.get(k) for k in written})
        extra = {k: v for k, v in packaged.items() if k not in written}
        others = {k: v for k, v in extra.items()
                  if not (hive == views["x86"] or k[1].endswith("\\win32"))}
        check(others == {}, "the package wrote in %s what regsvr32 did not:\n%s" % (hive, show(others)))
        print("   %s: the %d keys regsvr32 wrote are the same in the package; the 32-bit build's %d "
              "not compared" % (hive, len(written), len(extra)))
    for build in reversed(registered):
        regsvr32 = "C:\\windows\\syswow64\\regsvr32.exe" if arch == "x64" and build == "x86" else "regsvr32"
        prefix.wine(regsvr32, "/u", "/s", "C:\\%s\\OrvoTrainer\\%s\\OrvoTrainer.dll" % (prefix.machine_dirs[build], build))
    for build in builds:
        shutil.rmtree(os.path.dirname(os.path.dirname(prefix.installed(build))))
    cleared = prefix.state()

    step("per user")
    code, _ = prefix.msiexec("/i", windows_path(msi), "MSIINSTALLPERUSER=1", "ALLUSERS=2")
    check(code == 0, "the per-user install failed (exit %d)" % code)
    for build in builds:
        check(os.path.exists(prefix.installed(build, per_user=True)) and
              sha(prefix.installed(build, per_user=True)) == shipped[build],
              "the per-user install did not put the %s DLL in the user's profile" % build)
        check(not os.path.exists(os.path.dirname(prefix.installed(build))),
              "the per-user install wrote to %s" % prefix.machine_dirs[build])
    user_tree = registration(difference(cleared, prefix.state())[0])
    machine = {k: v for k, v in user_tree.items() if k[0] != "user"}
    check(machine == {}, "the per-user install wrote for the machine:\n" + show(machine))
    # The user's rows are the machine's below HKCU\Software\Classes, with
    # the profile's folder for Program Files. Wine keeps no separate 32-bit
    # view of the user's classes, so where both builds' rows meet there,
    # either build's value may be the one that stays.
    def windows(path):
        return "c:" + path[len(prefix.drive):].replace("/", "\\").lower()
    folders = {windows(os.path.dirname(os.path.dirname(prefix.installed(b)))):
               windows(os.path.dirname(os.path.dirname(prefix.installed(b, per_user=True)))) for b in builds}
    expected = {}
    for (hive, key), values in package_tree.items():
        for name, (kind, data) in values.items():
            for machine_folder, user_folder in folders.items():
                if data.lower().startswith(machine_folder):
                    data = user_folder + data[len(machine_folder):].lower()
            expected.setdefault(("user", "classes\\" + key), {}).setdefault(name, set()).add((kind, data))
    for key in set(expected) | set(user_tree):
        want, got = expected.get(key, {}), user_tree.get(key, {})
        check(set(want) == set(got), "per user, %s has values %s, not %s" % (key[1], sorted(got), sorted(want)))
        for name, candidates in want.items():
            kind, data = got[name]
            check((kind, data.lower() if data.lower().startswith("c:\\users") else data) in candidates,
                  "per user, %s\\%s is %s, not one of %s" % (key[1], name, got[name], sorted(candidates)))
    print("   %d keys below HKCU\\Software\\Classes, none for the machine" % len(user_tree))
    code, _ = prefix.msiexec("/x", windows_path(msi), "MSIINSTALLPERUSER=1", "ALLUSERS=2")
    check(code == 0, "the per-user removal failed (exit %d)" % code)
    check(prefix.our_files() == [], "the per-user removal left files: %s" % prefix.our_files())
    left = registration(difference(cleared, prefix.state())[0])
    check(left == {}, "the per-user removal left registry entries:\n" + show(left))

    if arch == "x64":
        step("the 32-bit package on 64-bit Windows")
        code, log = prefix.msiexec("/i", windows_path(packages["x86"]))
        check(code == INSTALL_FAILURE, "the 32-bit package installed on 64-bit Windows (exit %d)" % code)
        check(prefix.our_files() == [], "the refused 32-bit package left files: %s" % prefix.our_files())


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--arch", choices=["x64", "x86"], required=True)
    parser.add_argument("--win64", required=True)
    parser.add_argument("--win32", required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--run", required=True)
    parser.add_argument("--loader", required=True)
    args = parser.parse_args()
    # A 64-bit prefix runs 32-bit programs where the machine runs them with
    # 32-bit Wine; then the 32-bit view is compared with regsvr32 too.
    probe = run([os.path.join(TOP, "tools", "win32-mode")])
    args.wine32 = probe.returncode == 0 and probe.stdout.strip() == "native"
    started = time.monotonic()
    shutil.rmtree(args.run, ignore_errors=True)
    os.makedirs(args.run)
    for build in ("win64", "win32"):
        dll = os.path.join(getattr(args, build), "OrvoTrainer.dll")
        if not os.path.exists(dll):
            print("lifecycle: %s is missing; both builds go into the package "
                  "(tools/build-dll %s)" % (dll, build), file=sys.stderr)
            return 1
    builds = ("x64", "x86") if args.arch == "x64" else ("x86",)
    prefix = Prefix(args)
    units_up = False
    try:
        step("packages")
        cert, key = os.path.join(args.run, "test-cert.pem"), os.path.join(args.run, "test-key.pem")
        result = run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                      "-subj", "/CN=OrvoTrainer throwaway test signer", "-addext", "extendedKeyUsage=codeSigning",
                      "-keyout", key, "-out", cert])
        check(result.returncode == 0, "openssl could not make a certificate: " + result.stderr)
        packages = make_packages(args, os.path.join(args.run, "new"), cert, key)
        older = make_packages(args, os.path.join(args.run, "old"), cert, key, OLDER_VERSION)
        check_packages(packages, cert)

        step("prefix and units")
        result = run([os.path.join(TOP, "tools", "wine-prefix"), "up", prefix.path], env=prefix.env, timeout=300)
        check(result.returncode == 0, "no prefix: " + result.stderr)
        result = run([os.path.join(TOP, "tools", "sim-units"), "up", os.path.join(args.host, "sim", "orvo-sim"),
                      os.path.join(args.run, "units"), prefix.path,
                      "2=plc:address=3", "3=console:address=5", "4=fault:address=9"], env=prefix.env, timeout=120)
        units_up = True
        check(result.returncode == 0, "the units did not come up: " + result.stdout + result.stderr)

        lifecycle(args, prefix, packages, older, builds)
    except Failed as failure:
        print("FAILED: %s" % failure, file=sys.stderr)
        return 1
    finally:
        if units_up:
            run([os.path.join(TOP, "tools", "sim-units"), "down", os.path.join(args.run, "units")], env=prefix.env)
        run([os.path.join(TOP, "tools", "wine-prefix"), "down", prefix.path], env=prefix.env)
    print("lifecycle: passed in %.0f s" % (time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
