#include "cli/help.h"

#include "marivane_version.h"

namespace marivane::cli {

namespace {

// In the order the usage lists them. Lines stay within 80 columns.
constexpr TCommandHelp kCommands[] = {
    {"build",
     "build SMALL.bmp BIG.bmp [-o OUT] [--force]\n"
     "                    [--template PATH | --system-template]\n"
     "                    [--prepare [--mode fill|fit|stretch]]",
     "make a boot screen file from an 800x600 and a 1024x768 24-bit bitmap",
     "Makes a boot screen file as the window's save does: checks SMALL.bmp (800x600)\n"
     "and BIG.bmp (1024x768), both 24-bit Windows bitmaps, copies them into a working\n"
     "folder, captures that into a WIM and splices the WIM into the template. Prints\n"
     "how much of the 3,799,408-byte slot the WIM takes, or by how many bytes it is\n"
     "over.\n"
     "\n"
     "Options:\n"
     "  -o OUT           write the file to OUT (default: winload.exe.mui in the\n"
     "                   current folder)\n"
     "  --force          replace OUT if it exists already\n"
     "  --template PATH  build from the template PATH instead of the default: on\n"
     "                   Windows, this Windows' own language file for its boot\n"
     "                   language (or the original an install kept, where a boot\n"
     "                   screen is in its place); where none serves, x86template\n"
     "                   beside the program, or else ../share/marivane/x86template\n"
     "                   from the program's folder\n"
     "  --system-template  build from a template made in memory from this Windows's\n"
     "                   language file for its install language, as \"template\n"
     "                   --system\" makes it (Windows only)\n"
     "  --prepare        take any two pictures and prepare them first, as prepare\n"
     "                   does, into a folder of the run's own under TEMP\n"
     "  --mode MODE      with --prepare: fill (the default), fit or stretch\n"
     "  -h, --help       show this help\n"
     "\n"
     "Exit status:\n"
     "  0  OUT was written\n"
     "  1  refused, with a message saying why: a picture that cannot be loaded,\n"
     "     prepared or does not fit its slot, no template, OUT exists without\n"
     "     --force, a WIM over the slot's size, OUT could not be written\n"
     "  2  a wrong command line\n"},
    {"check", "check FILE...",
     "load each picture as the window would and say whether it fits a slot",
     "Loads each FILE as the window's browse button would and prints a line for it:\n"
     "its kind, size and pixel format and whether the small (800x600) and big\n"
     "(1024x768) slots take it, or the error the window would show. Writes nothing.\n"
     "\n"
     "Options:\n"
     "  -h, --help  show this help\n"
     "\n"
     "Exit status:\n"
     "  0  every FILE was loaded, whether a slot takes it or not\n"
     "  1  a FILE could not be loaded; the others are checked all the same\n"
     "  2  a wrong command line: no FILE\n"},
    {"capture", "capture FOLDER OUT.wim",
     "capture a folder into a bootable LZX-compressed WIM, as a save does",
     "Captures FOLDER into a bootable LZX-compressed WIM, as a save does with its\n"
     "working folder, and prints the WIM's size. An existing OUT.wim is replaced, but\n"
     "only once the capture is complete; an OUT.wim inside FOLDER is refused.\n"
     "\n"
     "Options:\n"
     "  -h, --help  show this help\n"
     "\n"
     "Exit status:\n"
     "  0  OUT.wim was written\n"
     "  1  refused, with a message saying why: OUT.wim lies inside FOLDER, the\n"
     "     capture failed, OUT.wim could not be written\n"
     "  2  a wrong command line\n"},
    {"prepare",
     "prepare PICTURE --slot small|big [--mode fill|fit|stretch]\n"
     "                    [-o OUT.bmp] [--force]",
     "turn any picture into a 24-bit bitmap of a slot's size",
     "Decodes PICTURE (PNG, JPEG, GIF, TIFF, BMP of any depth, ICO), turns it\n"
     "upright by its EXIF orientation, composes any transparency over black, scales\n"
     "it to the slot's size (small: 800x600, big: 1024x768) and writes it as a 24-bit\n"
     "Windows bitmap that the slot takes. Prints what it wrote.\n"
     "\n"
     "Options:\n"
     "  --slot SLOT    small or big, the slot to prepare the picture for\n"
     "  --mode MODE    fill: cover the slot, cropping the overflow evenly (the\n"
     "                 default); fit: the whole picture, with black bars; stretch:\n"
     "                 the whole picture pulled to the slot's shape\n"
     "  -o OUT         write the bitmap to OUT (default: NAME-800x600.bmp or\n"
     "                 NAME-1024x768.bmp in the current folder, for PICTURE NAME.EXT)\n"
     "  --force        replace OUT if it exists already\n"
     "  -h, --help     show this help\n"
     "\n"
     "Exit status:\n"
     "  0  OUT was written\n"
     "  1  refused, with a message saying why: PICTURE cannot be opened, is no\n"
     "     picture of these kinds, is damaged or larger than 40 megapixels, OUT\n"
     "     exists without --force, OUT could not be written\n"
     "  2  a wrong command line\n"},
    {"template", "template {SOURCE.mui | --system [LANGUAGE]} [-o OUT] [--force]",
     "make a template from a system's own language file",
     "Makes a template from a system's own language file, such as\n"
     "C:\\Windows\\System32\\en-US\\winload.exe.mui: drops its boot screen (RCDATA 1),\n"
     "lays out the slot in its language and carries every other resource over byte\n"
     "for byte. Prints the language, how many resources were carried and how much of\n"
     "the room in front of the slot the resource directory takes. \"build --template\"\n"
     "then builds from it.\n"
     "\n"
     "Options:\n"
     "  -o OUT      write the template to OUT (default: x86template in the current\n"
     "              folder)\n"
     "  --force     replace OUT if it exists already\n"
     "  --system    take SOURCE from this Windows: %windir%\\System32\\LANGUAGE\\\n"
     "              winload.exe.mui, for the language Windows was installed in\n"
     "              unless LANGUAGE (such as de-DE) names another; Windows only\n"
     "  -h, --help  show this help\n"
     "\n"
     "Exit status:\n"
     "  0  OUT was written\n"
     "  1  refused, with a message saying why: no such system file, SOURCE is not\n"
     "     a resource-only PE32 module with RCDATA 1, is malformed or too large, its\n"
     "     resource directory does not fit in front of the slot, OUT exists without\n"
     "     --force, OUT could not be written\n"
     "  2  a wrong command line\n"},
    {"inspect", "inspect FILE... [--against WINLOAD.EXE | --system]",
     "check boot screen files and say whether each is good",
     "Reads each FILE (a winload.exe.mui: one of ours, Windows' own, one from anywhere)\n"
     "and prints its verdict, then what it found, each with the bytes concerned in\n"
     "brackets:\n"
     "  good            a sound language file whose boot screen the boot loader can\n"
     "                  show: its MUI configuration valid, a WIM with one bootable\n"
     "                  image holding osload800x600.bmp and osload1024x768.bmp, each a\n"
     "                  24-bit bitmap of its size, all checksums matching\n"
     "  no boot screen  a sound language file without one\n"
     "  damaged         anything else; the first thing wrong follows the verdict\n"
     "With a boot loader it also says whether FILE pairs with it: both checksums of\n"
     "their MUI configurations and their file versions equal, and FILE's language the\n"
     "name of its folder (or, outside a language folder, of the one it goes into).\n"
     "Writes nothing.\n"
     "\n"
     "Options:\n"
     "  --against WINLOAD.EXE  say whether each FILE pairs with this boot loader\n"
     "  --system    the same with this Windows's %windir%\\System32\\winload.exe\n"
     "              (Windows only)\n"
     "  -h, --help  show this help\n"
     "\n"
     "Exit status:\n"
     "  0  every FILE is good and, with a boot loader, pairs with it\n"
     "  1  a FILE is not, or could not be read, or the boot loader could not be\n"
     "     read; every FILE is inspected all the same\n"
     "  2  a wrong command line\n"},
    {"extract", "extract FILE [-o DIR] [--force]",
     "write the two pictures of a boot screen file",
     "Reads the boot screen of FILE and writes its two pictures, byte for byte as its\n"
     "archive holds them, as osload800x600.bmp and osload1024x768.bmp. Each is written\n"
     "whole or not at all. A FILE whose pictures cannot be read whole is refused with\n"
     "what is wrong; one that is not good otherwise still gives its pictures, and the\n"
     "verdict is said after them. Prints each picture written.\n"
     "\n"
     "Options:\n"
     "  -o DIR      write the pictures into the folder DIR, which must exist (default:\n"
     "              the current folder)\n"
     "  --force     replace the pictures if they exist already\n"
     "  -h, --help  show this help\n"
     "\n"
     "Exit status:\n"
     "  0  both pictures were written\n"
     "  1  refused, with a message saying why: FILE cannot be read, holds no boot\n"
     "     screen or one whose pictures cannot be read, DIR is not a folder, a\n"
     "     picture exists without --force or could not be written\n"
     "  2  a wrong command line\n"},
    {"install",
     "install FILE [--language L] [--force] [--windows MOUNTPOINT]\n"
     "                    [--result PATH]",
     "put a boot screen file in the place of Windows' own, keeping the original",
     "Puts FILE in the place of System32\\L\\winload.exe.mui, only if it is a good\n"
     "boot screen file (as inspect says) that pairs with that Windows' winload.exe\n"
     "for the folder L. The first install keeps the file in place, byte for byte,\n"
     "in ProgramData\\Marivane\\Backup\\L with a record of it (SHA-256, owner and\n"
     "access list, versions, where it came from) and RESTORE.CMD; a later install\n"
     "never replaces that backup. The new file is written beside the old one,\n"
     "compared, and renamed over it; a journal lets the next run finish or undo a\n"
     "run that was stopped. Then quiet boot is turned on with bcdedit, without\n"
     "which the picture does not show. A 64-bit Windows is refused. On Windows, run\n"
     "it from an administrator Command Prompt.\n"
     "\n"
     "Options:\n"
     "  --language L  the language folder (default: the boot language; with\n"
     "                --windows, the one folder that holds a winload.exe.mui, or\n"
     "                en-US among several)\n"
     "  --force       go on where it cannot be told: winload.exe has no MUI\n"
     "                configuration to pair with, or the file in place cannot be\n"
     "                shown to be Windows' own before the first backup\n"
     "  --windows MOUNTPOINT  work on a Windows partition mounted read-write here\n"
     "                (Linux); quiet boot is then left for the next start\n"
     "  --result PATH  at the end, write PATH: done, refused or failed, the exit\n"
     "                status, then the message\n"
     "  -h, --help    show this help\n"
     "\n"
     "Exit status:\n"
     "  0  FILE is in place (the message says whether quiet boot could be set)\n"
     "  1  refused or failed, with a message saying why; the file in place is as it\n"
     "     was, unless the message says otherwise\n"
     "  2  a wrong command line\n"},
    {"restore", "restore [LANGUAGE] [--windows MOUNTPOINT] [--result PATH]",
     "put back the original winload.exe.mui an install kept",
     "Puts the original that the first install kept for LANGUAGE back in its place,\n"
     "byte for byte, with its owner and access list, the same way install puts a\n"
     "file in place. Refused when an update has since replaced winload.exe (its\n"
     "version is not the one recorded). Quiet boot is turned off again only if it\n"
     "was off before the first install and is on now.\n"
     "\n"
     "Options:\n"
     "  --windows MOUNTPOINT  work on a Windows partition mounted read-write here\n"
     "                (Linux)\n"
     "  --result PATH  at the end, write PATH as install does\n"
     "  -h, --help    show this help\n"
     "\n"
     "Exit status:\n"
     "  0  the original is in place\n"
     "  1  refused or failed, with a message saying why\n"
     "  2  a wrong command line\n"},
    {"status", "status [--windows MOUNTPOINT]",
     "say what is in place, whether a backup is kept, and whether quiet boot is on",
     "Prints, for each language folder that holds a winload.exe.mui, what is in\n"
     "place (Windows' own, a boot screen file with its verdict, something else),\n"
     "whether a complete backup is kept and suits this winload.exe, and whether a\n"
     "stopped run left its journal; then whether quiet boot is on. Changes nothing.\n"
     "\n"
     "Options:\n"
     "  --windows MOUNTPOINT  look at a Windows partition mounted here (Linux)\n"
     "  -h, --help    show this help\n"
     "\n"
     "Exit status:\n"
     "  0  the status was printed\n"
     "  1  there is no Windows to look at\n"
     "  2  a wrong command line\n"},
};

}  // namespace

const TCommandHelp* FindCommandHelp(std::string_view name) {
  for (const TCommandHelp& command : kCommands)
    if (name == command.name) return &command;
  return nullptr;
}

void PrintUsage(std::FILE* to) {
  const char* lead = "usage: ";
  for (const TCommandHelp& command : kCommands) {
    std::fprintf(to, "%smarivane-cli %s\n", lead, command.synopsis);
    lead = "       ";
  }
  std::fputs("       marivane-cli help [COMMAND]\n"
             "       marivane-cli --version\n",
             to);
  for (const TCommandHelp& command : kCommands)
    std::fprintf(to, "  %-9s %s\n", command.name, command.summary);
  std::fputs("  help      show this help, or a command's options and exit statuses\n", to);
}

void PrintHelp() {
  PrintUsage(stdout);
  std::fputs(
      "\n"
      "Options:\n"
      "  -h, --help [COMMAND]  the same as help\n"
      "  --version             show the program's version\n"
      "\n"
      "Exit status: 0 success, 1 refused (a message on standard error says why),\n"
      "2 a wrong command line.\n"
      "\n"
      "The template is x86template beside the program, or else\n"
      "../share/marivane/x86template from the program's folder, as installed.\n",
      stdout);
}

void PrintCommandHelp(const TCommandHelp& command) {
  std::printf("usage: marivane-cli %s\n\n%s", command.synopsis, command.details);
}

void PrintVersion() { std::printf("marivane-cli %s\n", MARIVANE_VERSION); }

}  // namespace marivane::cli
