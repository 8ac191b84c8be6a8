#!/usr/bin/env python3
"""The window's template from the system's own language files: in a Wine prefix of its own,
a boot loader (winload.exe) and language files our writer makes are planted in System32 (en-US,
which pairs with that boot loader, and de-DE with string and message tables, it-IT holding a
de-DE file, fr-FR without a boot screen). With the boot loader alone, the window must use the
built-in template and say that a file built on it may not suit this Windows; with the files,
en-US's (the install language's) must be the default until the user chooses; the template dialog
must list each by its folder, en-US as the language Windows was installed in although the
user works in German, it-IT saying its file is German, fr-FR greyed with its reason in plain
words and the reader's in its tooltip, and Tab must go options, Another file, OK, Cancel; a
save with de-DE chosen must give a module whose
RCDATA 1 is in 0x0407 and whose other resources are the planted file's byte for byte, whose
WIM passes the judges and whose "File saved" message names the de-DE folder; the next run
must start with de-DE. marivane-cli.exe template --system de-DE must make the same template
as template on the planted file, and build --system-template must build from en-US's, the
install language's; a folder, a named pipe or nothing where a language's file goes is said as
such. A remembered template of 5,000 characters must be named, shortened, as one that cannot
serve. Open Boot Screen File's dialog must start in en-US's folder. With no choice remembered, a
replacement in en-US and the install's backup of the original, the backup must be the default,
unless it was made for another version of the boot loader or its record is missing.

usage: ui_system_template_test.py --wine RUN --test UI_TEST_EXE --cli CLI_EXE --probe DIR
"""
import argparse
import hashlib
import os
import shutil
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "cli"))
import boot_screen_checks  # noqa: E402
from harness import bitmap, check, cli_command, failures, finish, run, wine_path  # noqa: E402
from mui_source import (RT_MESSAGETABLE, RT_RCDATA, RT_STRING, boot_loader_pair, build_module,  # noqa: E402
                        language_file, message_table, string_block)

parser = argparse.ArgumentParser()
parser.add_argument("--wine", required=True)
parser.add_argument("--test", required=True)
parser.add_argument("--cli", required=True)
parser.add_argument("--probe", required=True)
args = parser.parse_args()

EN, DE, FR = 0x0409, 0x0407, 0x040C


def tables(language, name, text):
    return [(RT_STRING, 1, language, string_block(0, {2: text})),
            (RT_MESSAGETABLE, 1, language, message_table({0x10: text, 0x11: name}))]


def with_tables(language, name, text):
    return language_file(language, name, tables(language, name, text))


LOADER, ENGLISH = boot_loader_pair(EN, "en-US", tables(EN, "en-US", "Starting Windows"))
planted = {
    "en-US": ENGLISH,
    "de-DE": build_module(with_tables(DE, "de-DE", "Windows wird gestartet"))[0],
    "it-IT": build_module(with_tables(DE, "de-DE", "Windows wird gestartet"))[0],
    "fr-FR": build_module([r for r in language_file(FR, "fr-FR") if r[:2] != (RT_RCDATA, 1)])[0],
}
SYSTEM = "C:\\windows\\system32"
# Each planted file as the dialog lists it: the choice's title, greyed or not, the reason under
# it, and the tooltip over it (and over the reason).
listed = {
    "en-US": ("choice", "en-US - English (United States) (the language Windows was installed in)", None,
              f"{SYSTEM}\\en-US\\winload.exe.mui"),
    "de-DE": ("choice", "de-DE - German (Germany)", None, f"{SYSTEM}\\de-DE\\winload.exe.mui"),
    "it-IT": ("choice", "it-IT - Italian (Italy), but the file in it is de-DE, German (Germany)", None,
              f"{SYSTEM}\\it-IT\\winload.exe.mui"),
    "fr-FR": ("greyed-choice", "fr-FR - French (France)",
              "Cannot serve as a template: it holds no boot screen to replace.",
              f"{SYSTEM}\\fr-FR\\winload.exe.mui: the module has no RCDATA resource named 1 (no boot screen)"),
}
SAVED = ("The boot screen file was saved successfully.\\r\\rTo enable your new boot screen, copy the "
         "file to the %windir%\\System32\\de-DE folder of your Vista installation overwriting the "
         "original.  If you get a permission error, you will have to take ownership of the existing "
         "file and then give yourself write permissions.\\r\\rNOTE: your new boot screen will not be "
         "displayed unless you enable the /NOGUIBOOT option using the MSCONFIG.EXE tool that comes "
         "with Vista.")
GERMAN_FILE = f"{SYSTEM}\\de-DE\\winload.exe.mui"
GERMAN_LEAD = "Template: de-DE, German (Germany), from "
ENGLISH_FILE = f"{SYSTEM}\\en-US\\winload.exe.mui"
ENGLISH_LEAD = "Template: en-US, English (United States), from "
BACKUP_FILE = "C:\\ProgramData\\Marivane\\Backup\\en-US\\winload.exe.mui"
# A path far past what Windows opens, remembered from an earlier run.
LONG_PATH = "C:\\" + "\\".join(["remembered"] * 454) + "\\winload.exe.mui"


def shortened(label, lead, path, tail=""):
    """Whether `label` is lead + path + tail, the path whole or with "..." for its middle."""
    head, _, end = label[len(lead):len(label) - len(tail)].partition("...")
    return label.startswith(lead) and label.endswith(tail) and path.startswith(head) and path.endswith(end)


def german_user(work):
    """What makes Wine see a Windows installed in English whose user works in German: a German
    locale made for Wine alone (LOCPATH), for its messages only. None where none can be made."""
    folder = os.path.join(work, "locales")
    status, _ = run(["localedef", "-i", "de_DE", "-f", "UTF-8", os.path.join(folder, "de_DE.UTF-8")])
    return {"LOCPATH": folder, "LC_MESSAGES": "de_DE.UTF-8"} if status == 0 else None


def reported(text):
    """[(what, text)] from the "@@ WHAT TEXT" lines the UI test prints."""
    return [tuple(line[3:].split(" ", 1)) for line in text.splitlines() if line.startswith("@@ ")]


with tempfile.TemporaryDirectory() as work:
    # A prefix of the test's own: its System32 and its registry are this test's to change.
    env = dict(os.environ, WINE_RUN_PREFIX=os.path.join(work, "prefix"), MARIVANE_UI_PLANTED="1",
               MARIVANE_UI_SAVE_DIR=wine_path(work), LANG="C.UTF-8")
    env.pop("LC_ALL", None)
    env.update(german_user(work) or {})
    if "LOCPATH" not in env:
        print("note: no German locale could be made (localedef); the user works in English too")
    status, text = run([args.wine, "cmd", "/c", "exit"], env=env)
    system32 = os.path.join(work, "prefix", "drive_c", "windows", "system32")
    if not check(status == 0 and os.path.isdir(system32), f"no Wine prefix ({status}):\n{text}"):
        finish()
    open(os.path.join(system32, "winload.exe"), "wb").write(LOADER)
    last_run = [args.wine, args.test, "--gtest_filter=TemplateChoice.IsTheOneTheLastRunChose"]
    # A boot loader and no language file: nothing this Windows has can serve.
    status, text = run(last_run, env=env)
    seen = reported(text)
    check(status == 0 and ("label", "Template: built-in x86template; a file built on it may not suit this Windows")
          in seen and ("template", "") in seen, f"with no language file the window says ({status}): {seen}\n{text}")
    check(any(what == "label-tip" and "This Windows' own cannot serve: no language folder of this Windows holds a "
              "winload.exe.mui" in value for what, value in seen), f"the built-in template's tooltip: {seen}")

    for language, content in planted.items():
        os.makedirs(os.path.join(system32, language), exist_ok=True)
        open(os.path.join(system32, language, "winload.exe.mui"), "wb").write(content)
    small, big = os.path.join(work, "small.bmp"), os.path.join(work, "big.bmp")
    open(small, "wb").write(bitmap(800, 600, lambda x, y: (x % 256, y % 256, 40)))
    open(big, "wb").write(bitmap(1024, 768, lambda x, y: (0, 90, 200)))

    status, text = run([args.wine, args.test, "--gtest_filter=TemplateChoice.ListsThePlantedFilesAndSavesWithTheChosenOne"],
                       env=env)
    seen = reported(text)
    check(status == 0, f"the UI test failed ({status}):\n{text}")
    labels = [value for what, value in seen if what == "label"]
    check(len(labels) == 2 and shortened(labels[0], ENGLISH_LEAD, ENGLISH_FILE)
          and shortened(labels[1], GERMAN_LEAD, GERMAN_FILE), f"the window says {labels}")
    check(("label-tip", f"de-DE, German (Germany), from {GERMAN_FILE}") in seen, f"the line's tooltip: {seen}")
    choices = [(what, value) for what, value in seen if what in ("choice", "greyed-choice", "reason", "tip")]
    check(choices[:2] == [("choice", "Built-in template: en-US (x86template)"), ("tip", "x86template beside the program")],
          f"first choice {choices[:2]}")
    for language, (kind, title, reason, tip) in listed.items():
        expected = [(kind, title), ("tip", tip)] + ([("reason", reason), ("tip", tip)] if reason else [])
        at = choices.index(expected[0]) if expected[0] in choices else len(choices)
        check(choices[at:at + len(expected)] == expected, f"{language}: not {expected} in {choices}")
    check(len([c for c in choices if c[0] != "tip"]) == 1 + len(listed) + 1,
          f"the dialog lists more than the planted files: {choices}")
    tabs = [value for what, value in seen if what == "tab"]
    rounds = [" | ".join([first, "&Another file...", "OK", "Cancel", first])
              for first in ("en-US - English (United States) (the language Windows was installed in)",
                            "de-DE - German (Germany)")]
    check(tabs == rounds, f"Tab goes {tabs}, not {rounds}")
    check(("saved-caption", "File saved") in seen and ("saved", SAVED) in seen,
          f"the save said {[s for s in seen if s[0].startswith('saved')]}")

    saved = os.path.join(work, "boot-screen")
    if check(os.path.exists(saved), "nothing was saved"):
        # The CLI's template from the system's file, and from the same file named as SOURCE.
        source = os.path.join(work, "de-DE.mui")
        open(source, "wb").write(planted["de-DE"])
        made = {}
        for name, way in (("system", ["--system", "de-DE"]), ("named", [wine_path(source)])):
            made[name] = os.path.join(work, f"{name}-template")
            command, _ = cli_command(args.cli, args.wine, ["template"] + way + ["-o", wine_path(made[name])],
                                     work)
            status, text = run(command, env)
            check(status == 0 and "language de-DE (0x0407), 4 resources carried" in text,
                  f"template {' '.join(way)} ({status}): {text}")
        if check(all(os.path.exists(path) for path in made.values()), "a template was not written"):
            template = open(made["named"], "rb").read()
            check(open(made["system"], "rb").read() == template,
                  "template --system de-DE differs from template on the same file")
            # The window's save staged the very same template around its slot.
            data = open(saved, "rb").read()
            check(data[:264] == template[:264] and data[boot_screen_checks.SLOT_OFFSET + boot_screen_checks.SLOT_SIZE:]
                  == template[boot_screen_checks.SLOT_OFFSET:], "the save's template is not the CLI's")
            probe = (args.wine, os.path.join(args.probe, "resource_probe.exe"))
            failures.extend(boot_screen_checks.judge("saved", saved, small, big, len(template), work,
                                                     carried=DE))
            failures.extend(boot_screen_checks.judge_carried("saved", saved, planted["de-DE"], work, probe))

        # build --system-template takes the language Windows was installed in, not the user's.
        built = os.path.join(work, "built-from-system.mui")
        command, _ = cli_command(args.cli, args.wine, ["build", wine_path(small), wine_path(big), "-o",
                                                       wine_path(built), "--system-template"], work)
        status, text = run(command, env)
        failures.extend(boot_screen_checks.judge_carried("built", built, planted["en-US"], work)
                        if check(status == 0, f"build --system-template ({status}): {text}") else [])

    # template --system says what is wrong with the system's entry before it looks at OUT: an
    # x86template in the current folder (the package's own, say) stays as it was.
    os.makedirs(os.path.join(system32, "ja-JP", "winload.exe.mui"))
    os.makedirs(os.path.join(system32, "ko-KR"))
    os.mkfifo(os.path.join(system32, "ko-KR", "winload.exe.mui"))
    existing = os.path.join(work, "x86template")
    open(existing, "wb").write(b"the package's own")
    for language, said in (
            ("ja-JP", f"{SYSTEM}\\ja-JP\\winload.exe.mui is a folder, not a language file"),
            ("ko-KR", f'Cannot open file "{SYSTEM}\\ko-KR\\winload.exe.mui". It is a pipe, a device or a socket, '
                      "not a regular file."),
            ("pt-BR", f"{SYSTEM}\\pt-BR\\winload.exe.mui: there is no such file; this Windows has no language "
                      "file for pt-BR")):
        command, _ = cli_command(args.cli, args.wine, ["template", "--system", language, "-o", wine_path(existing)],
                                 work)
        status, text = run(command, env)
        check(status == 1 and said in text and open(existing, "rb").read() == b"the package's own",
              f"template --system {language} ({status}): {text!r}")
    shutil.rmtree(os.path.join(system32, "ja-JP"))
    shutil.rmtree(os.path.join(system32, "ko-KR"))

    status, text = run(last_run, env=env)
    seen = reported(text)
    check(status == 0 and ("template", GERMAN_FILE) in seen and
          any(what == "label" and shortened(value, GERMAN_LEAD, GERMAN_FILE) for what, value in seen),
          f"the next run does not start with de-DE ({status}): {seen}\n{text}")

    status, text = run([args.wine, args.test, "--gtest_filter=TemplateChoice.OpenBootScreenStartsInTheInstallLanguagesFolder"],
                       env=env)
    folders = [value.lower() for what, value in reported(text) if what == "open-folder"]
    check(status == 0 and folders == [f"{SYSTEM}\\en-US".lower()],
          f"Open Boot Screen File starts in {folders} ({status})")

    # Remembered, a path far past what Windows opens is named, shortened, with its reason.
    status, text = run([args.wine, "reg", "add", "HKCU\\Software\\Marivane", "/v", "BootScreenTemplate",
                        "/d", LONG_PATH, "/f"], env=env)
    check(status == 0, f"reg add ({status}): {text}")
    status, text = run(last_run, env=env)
    seen = reported(text)
    labels = [value for what, value in seen if what == "label"]
    tips = [value for what, value in seen if what == "label-tip"]
    check(status == 0 and ("template", LONG_PATH) in seen and len(labels) == 1 and "..." in labels[0] and
          shortened(labels[0], "Template: ", LONG_PATH, " (cannot serve: the file cannot be read)"),
          f"a long remembered path shows {labels} ({status})")
    check(len(tips) == 1 and tips[0].startswith('Cannot open file "C:\\remembered\\remembered'),
          f"its tooltip says {tips}")

    # No choice remembered, a replacement in en-US and the original kept by an install: the
    # original is the default; one kept for another version of the boot loader is not.
    status, text = run([args.wine, "reg", "delete", "HKCU\\Software\\Marivane", "/v", "BootScreenTemplate", "/f"],
                       env=env)
    check(status == 0, f"reg delete ({status}): {text}")
    backup = os.path.join(work, "prefix", "drive_c", "ProgramData", "Marivane", "Backup", "en-US")
    os.makedirs(backup)
    open(os.path.join(system32, "en-US", "winload.exe.mui"), "wb").write(
        build_module(language_file(EN, "en-US", boot_screen=b"\x22" * 64))[0])
    # A backup is complete with its record, which names the original's SHA-256; without it
    # (an install stopped while keeping it) it is no backup.
    newer = boot_loader_pair(EN, "en-US", version=(6, 0, 6001, 18000))[1]
    for original, recorded, expected in ((ENGLISH, True, BACKUP_FILE), (ENGLISH, False, ENGLISH_FILE),
                                         (newer, True, ENGLISH_FILE)):
        open(os.path.join(backup, "winload.exe.mui"), "wb").write(original)
        record = os.path.join(backup, "original.txt")
        if os.path.exists(record):
            os.remove(record)
        if recorded:
            fields = ["sha256=" + hashlib.sha256(original).hexdigest(), "windows_path=" + ENGLISH_FILE,
                      "file_version=6.0.6000.16386", "loader_version=6.0.6000.16386", "windows_build=6.0.6000",
                      "signature=cannot tell", "quiet_boot_before=unknown", f"size={len(original)}", "security=none"]
            open(record, "w").write("\n".join(["marivane backup 1"] + fields) + "\n")
        status, text = run(last_run, env=env)
        seen = reported(text)
        check(status == 0 and ("template", expected) in seen,
              f"with a backup ({'recorded' if recorded else 'no record'}) the template is not {expected}: {seen}")

finish()
