// The ombra program's usage and help texts (the man page, ombra.1, says the
// same at more length).
#include "CommandLine.h"

namespace ombra_host {

namespace {

const char kUsage[] = "usage: ombra convert IN... [-o OUT | --outdir DIR] [-t WRITER] [OPTION...]\n"
                      "       ombra dump IN [-o OUT] [--set NAME=VALUE]...\n"
                      "       ombra formats\n"
                      "       ombra plugins\n"
                      "       ombra help [COMMAND]\n";

const char kCommon[] =
    "Plug-ins and language:\n"
    "  --readers DIR      also loads the reader plug-ins (*.obrd) under DIR\n"
    "  --writers DIR      also loads the writer plug-ins (*.obwt) under DIR\n"
    "  --no-default-plugins  loads only the folders named, not the shipped plug-ins\n"
    "  --locale en|ja     the language of messages and display names (default: from\n"
    "                     LC_ALL, LC_MESSAGES or LANG)\n"
    "  -h, --help         this help;  -V, --version  the version\n";

const char kConvert[] =
    "ombra convert IN... [OPTION...]\n"
    "Converts each input with the reader that recognises it (by its content, so\n"
    "a compressed .sla.gz is read too) into the writer chosen with -t.\n"
    "\n"
    "Inputs and outputs:\n"
    "  IN                 a file, a FIFO, <(process substitution), or - for the\n"
    "                     standard input\n"
    "  -o, --output OUT   the output of a single input; - is the standard output\n"
    "  --outdir DIR       the folder for the outputs (made when missing)\n"
    "                     Without both, each output goes next to its input with the\n"
    "                     writer's extension (a.sla and a.sla.gz give a.txt), and the\n"
    "                     standard input goes to the standard output. An output that\n"
    "                     is a device, FIFO or terminal is written in place; a\n"
    "                     symbolic link's target is replaced; a replaced file keeps\n"
    "                     its mode, owner and hard links; a failed or interrupted\n"
    "                     conversion leaves no output.\n"
    "  -t, --to WRITER    the writer, by name (text, json, html, pandoc) or id;\n"
    "                     text by default (--writer ID is the same); or a format\n"
    "                     that pandoc writes from the pandoc writer's document\n"
    "                     (docx, odt, epub, markdown, latex, rst, ...; pandoc must\n"
    "                     be installed)\n"
    "  -m, --metadata     prints title, author, subject, keywords, dates and page\n"
    "                     count instead of the content (as JSON with -t json)\n"
    "  -j, --jobs N       converts N inputs at once in N worker processes (1 to 64;\n"
    "                     default 1); a worker that crashes, hangs or runs out of\n"
    "                     memory is replaced and only its input fails\n"
    "  --timeout S        an input taking more than S seconds fails (default 600;\n"
    "                     0: no limit)\n"
    "  --max-memory SIZE  each worker's address space, e.g. 512M or 2G (at least\n"
    "                     64M; default: no limit)\n"
    "  --shard I/N        converts only shard I of N: the inputs sorted by path,\n"
    "                     every Nth from the Ith on (for job arrays)\n"
    "  --skip-existing    skips inputs whose output is a file already\n"
    "  --strict           an input whose conversion has notes counts as failed\n"
    "  --report           says what each conversion left out or wrote otherwise\n"
    "                     (\"Pictures left out: 3\"; -v says it too)\n"
    "  -v, --verbose      names each input, its output and its reader; the summary\n"
    "                     adds the processor time of the program and each worker\n"
    "  -q, --quiet        no progress bar and no summary\n"
    "\n"
    "The text writer:\n"
    "  --encoding E       utf8: UTF-8 without a byte-order mark (the default);\n"
    "                     utf16: UTF-16 little-endian with a byte-order mark;\n"
    "                     CODEPAGE: everything in one code page, e.g. cp1252,\n"
    "                     shift_jis, euc-jp, iso-8859-1, macroman, koi8-r, gb18030,\n"
    "                     big5; characters it lacks become '?', counted in a note;\n"
    "                     default: each run in the Windows code page of its script,\n"
    "                     so text in several scripts mixes code pages that no\n"
    "                     single decoder reads\n"
    "  --eol E            line ends: native (LF here, the default), lf, crlf, cr, or\n"
    "                     platform (the text writer's target platform: CR LF)\n"
    "  --style-tags FMT   starts each paragraph with FMT, %s replaced by the name of\n"
    "                     its paragraph style (\"<%s>\" gives \"<Heading>\")\n"
    "  --page-breaks TEXT writes a line holding TEXT at each column and frame break\n"
    "                     and before a story that starts on a new page; \\f (form\n"
    "                     feed), \\n, \\t and \\\\ are escapes\n"
    "  --hidden           also writes stories whose frames all lie on master pages\n"
    "                     or hidden layers (what a reader reads at all, its own\n"
    "                     settings decide: see --set)\n"
    "  --wrap N           wraps lines at N columns (1 to 10000; 0, the default: one\n"
    "                     line per paragraph); wide East Asian characters take two\n"
    "                     columns, a word longer than a line is cut\n"
    "  --unit U           starts with the page geometry in inches, points or twips\n"
    "  -s, --squeeze      writes runs of empty lines as one\n"
    "\n"
    "Every setting:\n"
    "  --set NAME=VALUE   sets any preference of the readers or of the writer, by the\n"
    "                     English name 'ombra plugins' lists (letter case, spaces\n"
    "                     and hyphens do not count): on/off for switches, a number,\n"
    "                     one of a list, or text. For example\n"
    "                       --set \"Include master-page items=off\"\n"
    "                     leaves master-page items out of what the Scribus reader\n"
    "                     reads, whatever --hidden says.\n";

const char kDump[] =
    "ombra dump IN [-o OUT] [--set NAME=VALUE]...\n"
    "Writes the Elements that the reader makes of IN as JSON, to the standard\n"
    "output unless -o or --outdir says otherwise: {\"format\": \"ombra-dump\",\n"
    "\"version\": 2, \"elements\": [...]} (docs/dump.schema.json). --set\n"
    "Indentation=0 writes one element a line; --set \"Story text=off\" leaves the\n"
    "story texts out. Options: -o, --outdir, --set, --strict, --timeout,\n"
    "--max-memory, -v, -q.\n";

const char kFormats[] =
    "ombra formats\n"
    "Lists what the readers read and the writers write: each format with its file\n"
    "extensions, MIME type, type and creator codes and plug-in.\n";

const char kPlugins[] =
    "ombra plugins\n"
    "Lists every plug-in found: file, id, version, whether it loaded and why not,\n"
    "and its preferences with their names, kinds, defaults and allowed values.\n"
    "The names are what --set takes.\n";

const char kExit[] = "\nExit status: 0 when every input was converted (notes are shown on the\n"
                     "standard error), 1 when some input failed (each is named with the reason;\n"
                     "an input that a reader recognised but could not read fails too) or a\n"
                     "listing could not be written, 2 for a usage error.\n";

} // namespace

std::string UsageText() {
    return std::string(kUsage) + "Run 'ombra help' or 'ombra help COMMAND' for more.\n";
}

std::string HelpText(Command topic) {
    switch (topic) {
    case Command::kConvert:
        return std::string(kConvert) + "\n" + kCommon + kExit;
    case Command::kDump:
        return std::string(kDump) + "\n" + kCommon + kExit;
    case Command::kFormats:
        return std::string(kFormats) + "\n" + kCommon;
    case Command::kPlugins:
        return std::string(kPlugins) + "\n" + kCommon;
    default:
        return std::string(kUsage) +
               "\n"
               "Commands:\n"
               "  convert   converts publications into text (or another writer's format)\n"
               "  dump      shows the Elements a reader makes of a document, as JSON\n"
               "  formats   lists what the readers read and the writers write\n"
               "  plugins   lists the plug-ins and their settings\n"
               "  help      this help; 'ombra help convert' shows a command's options\n"
               "\n"
               "To see a document's text:  ombra convert doc.sla -o -\n"
               "\n" +
               kCommon + kExit;
    }
}

} // namespace ombra_host
