// The ombra program's usage and help texts (the man page, ombra.1, says the
// same at more length).
#include "CommandLine.h"
#include "Messages.h"

namespace ombra_host {

namespace {

const char kUsage[] = "usage: ombra convert IN... [-o OUT | --outdir DIR] [-t WRITER] [OPTION...]\n"
                      "       ombra dump IN [-o OUT] [--set NAME=VALUE]...\n"
                      "       ombra formats\n"
                      "       ombra plugins\n"
                      "       ombra help [COMMAND]\n";

const char kCommonEn[] =
    "Plug-ins and language:\n"
    "  --readers DIR      also loads the reader plug-ins (*.obrd) under DIR\n"
    "  --writers DIR      also loads the writer plug-ins (*.obwt) under DIR\n"
    "  --no-default-plugins  loads only the folders named, not the shipped plug-ins\n"
    "  --locale en|ja     the language of messages and display names (default: from\n"
    "                     LC_ALL, LC_MESSAGES or LANG)\n"
    "  -h, --help         this help;  -V, --version  the version\n";

const char kConvertEn[] =
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
    "  -t, --to WRITER    the writer, by name (text, json, html, pandoc) or id\n"
    "                     (--writer ID is the same); or a format that pandoc\n"
    "                     writes from the pandoc writer's document (docx, odt,\n"
    "                     epub, markdown, latex, rst, ...; pandoc must be\n"
    "                     installed). Without it, what the extension of -o names\n"
    "                     (.html, .json, .docx, .md, ...), else text\n"
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
    "  --keep-folders     with --outdir: each output below DIR as its input lies\n"
    "                     (a/doc.sla: DIR/a/doc.txt), so that names may repeat\n"
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

const char kDumpEn[] =
    "ombra dump IN [-o OUT] [--set NAME=VALUE]...\n"
    "Writes the Elements that the reader makes of IN as JSON, to the standard\n"
    "output unless -o or --outdir says otherwise: {\"format\": \"ombra-dump\",\n"
    "\"version\": 2, \"elements\": [...]} (docs/dump.schema.json). --set\n"
    "Indentation=0 writes one element a line; --set \"Story text=off\" leaves the\n"
    "story texts out. Options: -o, --outdir, --set, --strict, --timeout,\n"
    "--max-memory, -v, -q.\n";

const char kFormatsEn[] =
    "ombra formats\n"
    "Lists what the readers read and the writers write: each format with its file\n"
    "extensions, MIME type, type and creator codes and plug-in.\n";

const char kPluginsEn[] =
    "ombra plugins\n"
    "Lists every plug-in found: file, id, version, whether it loaded and why not,\n"
    "and its preferences with their names, kinds, defaults and allowed values.\n"
    "The names are what --set takes.\n";

const char kExitEn[] = "\nExit status: 0 when every input was converted (notes are shown on the\n"
                       "standard error), 1 when some input failed (each is named with the reason;\n"
                       "an input that a reader recognised but could not read fails too) or a\n"
                       "listing could not be written, 2 for a usage error.\n";

const char kCommonJa[] =
    "プラグインと言語:\n"
    "  --readers DIR      DIR にあるリーダープラグイン（*.obrd）も読み込みます\n"
    "  --writers DIR      DIR にあるライタープラグイン（*.obwt）も読み込みます\n"
    "  --no-default-plugins  同梱のプラグインは使わず、指定したフォルダーのものだけを\n"
    "                     読み込みます\n"
    "  --locale en|ja     メッセージと表示名の言語（既定: LC_ALL、LC_MESSAGES、LANG\n"
    "                     から）\n"
    "  -h, --help         このヘルプ;  -V, --version  バージョン\n";

const char kConvertJa[] =
    "ombra convert IN... [OPTION...]\n"
    "各入力を、それを（内容で）認識したリーダーで読み、-t で選んだライターの形式に\n"
    "変換します（圧縮された .sla.gz も読めます）。\n"
    "\n"
    "入力と出力:\n"
    "  IN                 ファイル、FIFO、<(プロセス置換)、または標準入力を表す -\n"
    "  -o, --output OUT   入力が一つのときの出力。- は標準出力\n"
    "  --outdir DIR       出力を置くフォルダー（なければ作ります）\n"
    "                     どちらもなければ、出力は入力の隣にライターの拡張子で置かれ\n"
    "                     （a.sla と a.sla.gz は a.txt）、標準入力は標準出力へ。\n"
    "                     デバイス、FIFO、端末への出力はその場に書き、シンボリック\n"
    "                     リンクはリンク先を置き換えます。置き換えたファイルはモード、\n"
    "                     所有者、ハードリンクを保ち、失敗や中断で出力は残りません。\n"
    "  -t, --to WRITER    ライターの名前（text、json、html、pandoc）または ID\n"
    "                     （--writer ID も同じ）。pandoc が書ける形式（docx、odt、\n"
    "                     epub、markdown、latex、rst など）も指定でき、pandoc ライターの\n"
    "                     文書を pandoc で変換します（pandoc が必要です）。省略すると\n"
    "                     -o の拡張子（.html、.json、.docx、.md など）が示すもの、\n"
    "                     なければ text\n"
    "  -m, --metadata     内容の代わりにタイトル、作成者、件名、キーワード、日付、\n"
    "                     ページ数を出力します（-t json なら JSON で）\n"
    "  -j, --jobs N       N 個のワーカープロセスで N 件ずつ変換します（1～64、既定 1）。\n"
    "                     異常終了、停止、メモリ不足のワーカーは入れ替わり、その入力\n"
    "                     だけが失敗します\n"
    "  --timeout S        S 秒を超えた入力は失敗とします（既定 600、0 は無制限）\n"
    "  --max-memory SIZE  各ワーカーのアドレス空間（例 512M、2G。64M 以上、既定は\n"
    "                     無制限）\n"
    "  --shard I/N        N 分割の I 番目だけを変換します（パス順に I 番目から N 件\n"
    "                     おき。ジョブ配列向け）\n"
    "  --skip-existing    出力がすでにファイルとしてある入力は飛ばします\n"
    "  --keep-folders     --outdir とともに: 各出力を入力と同じフォルダー構成で DIR の\n"
    "                     下に置きます（a/doc.sla は DIR/a/doc.txt）。同じ名前も使えます\n"
    "  --strict           注意のあった変換を失敗とします\n"
    "  --report           各変換で省いたもの、別の形で書いたものを示します\n"
    "                     （「省いた画像: 3」。-v でも示します）\n"
    "  -v, --verbose      各入力とその出力、リーダーを示し、まとめに本体と各ワーカーの\n"
    "                     CPU 時間を加えます\n"
    "  -q, --quiet        進捗表示とまとめを出しません\n"
    "\n"
    "テキストライター:\n"
    "  --encoding E       utf8: BOM なしの UTF-8（既定）; utf16: BOM 付き UTF-16\n"
    "                     リトルエンディアン; CODEPAGE: すべてを一つのコードページで\n"
    "                     （cp1252、shift_jis、euc-jp、iso-8859-1、macroman、koi8-r、\n"
    "                     gb18030、big5 など）。ない文字は '?' になり、注意で数を\n"
    "                     示します。default: 各ランをその文字体系の Windows\n"
    "                     コードページで書くため、複数の文字体系の文章は一つの\n"
    "                     デコーダーでは読めません\n"
    "  --eol E            改行: native（ここでは LF、既定）、lf、crlf、cr、platform\n"
    "                     （テキストライターの対象プラットフォーム: CR LF）\n"
    "  --style-tags FMT   各段落の先頭に FMT を書き、%s を段落スタイル名に置き換え\n"
    "                     ます（\"<%s>\" で \"<見出し>\"）\n"
    "  --page-breaks TEXT 段区切りとフレーム区切り、新しいページで始まるストーリーの\n"
    "                     前に TEXT の行を書きます。\\f（改ページ）、\\n、\\t、\\\\ は\n"
    "                     エスケープです\n"
    "  --hidden           フレームがすべてマスターページか非表示レイヤーにある\n"
    "                     ストーリーも書きます（リーダーが何を読むかはリーダー自身の\n"
    "                     設定で決まります: --set を参照）\n"
    "  --wrap N           N 桁で折り返します（1～10000。既定の 0 は段落を一行に）。\n"
    "                     東アジアの全角文字は 2 桁、一行より長い語は切ります\n"
    "  --unit U           ページの寸法をインチ、ポイント、トゥイップで先頭に書きます\n"
    "  -s, --squeeze      続く空行を一行にまとめます\n"
    "\n"
    "すべての設定:\n"
    "  --set NAME=VALUE   リーダーやライターの設定を、'ombra plugins' が示す英語名で\n"
    "                     指定します（大文字小文字、空白、ハイフンは区別しません）。\n"
    "                     スイッチは on/off、ほかは数値、選択肢の一つ、または文字列。\n"
    "                     例えば\n"
    "                       --set \"Include master-page items=off\"\n"
    "                     は --hidden の指定にかかわらず、Scribus リーダーが\n"
    "                     マスターページのアイテムを読まないようにします。\n";

const char kDumpJa[] =
    "ombra dump IN [-o OUT] [--set NAME=VALUE]...\n"
    "リーダーが IN から作る Element を JSON で書きます。-o か --outdir がなければ\n"
    "標準出力へ: {\"format\": \"ombra-dump\", \"version\": 2, \"elements\": [...]}\n"
    "（docs/dump.schema.json）。--set Indentation=0 で一行に一要素、\n"
    "--set \"Story text=off\" でストーリーの本文を省きます。オプション: -o、\n"
    "--outdir、--set、--strict、--timeout、--max-memory、-v、-q。\n";

const char kFormatsJa[] =
    "ombra formats\n"
    "リーダーが読む形式とライターが書く形式を、拡張子、MIME タイプ、タイプと\n"
    "クリエーターのコード、プラグインとともに示します。\n";

const char kPluginsJa[] =
    "ombra plugins\n"
    "見つかったプラグインをすべて示します: ファイル、ID、バージョン、読み込めたか\n"
    "（読めなければその理由）、設定の名前、種類、既定値、取りうる値。名前は --set\n"
    "に指定するものです。\n";

const char kExitJa[] = "\n終了コード: すべての入力を変換できれば 0（注意は標準エラーに出ます）、\n"
                       "失敗した入力があれば 1（それぞれ理由とともに示します。リーダーが認識\n"
                       "しても読めなかった入力も失敗です）、一覧を書き出せなかったときも 1、\n"
                       "使い方の誤りは 2。\n";

const char kCommandsEn[] =
    "Commands:\n"
    "  convert   converts publications into text (or another writer's format)\n"
    "  dump      shows the Elements a reader makes of a document, as JSON\n"
    "  formats   lists what the readers read and the writers write\n"
    "  plugins   lists the plug-ins and their settings\n"
    "  help      this help; 'ombra help convert' shows a command's options\n"
    "\n"
    "To see a document's text:  ombra convert doc.sla -o -\n";

const char kCommandsJa[] =
    "コマンド:\n"
    "  convert   出版物をテキスト（またはほかのライターの形式）に変換します\n"
    "  dump      リーダーが文書から作る Element を JSON で示します\n"
    "  formats   リーダーが読む形式とライターが書く形式を示します\n"
    "  plugins   プラグインとその設定を示します\n"
    "  help      このヘルプ。'ombra help convert' でコマンドのオプションを示します\n"
    "\n"
    "文書のテキストを見るには:  ombra convert doc.sla -o -\n";

// The texts of one language.
struct Texts {
    const char *common, *convert, *dump, *formats, *plugins, *exit, *commands, *more;
};

const Texts kEnglish = {
    kCommonEn,  kConvertEn, kDumpEn,     kFormatsEn,
    kPluginsEn, kExitEn,    kCommandsEn, "Run 'ombra help' or 'ombra help COMMAND' for more.\n"};
const Texts kJapanese = {
    kCommonJa,   kConvertJa,
    kDumpJa,     kFormatsJa,
    kPluginsJa,  kExitJa,
    kCommandsJa, "詳しくは 'ombra help' または 'ombra help COMMAND' を実行してください。\n"};

const Texts& Language() {
    return MessagesInJapanese() ? kJapanese : kEnglish;
}

} // namespace

std::string UsageText() {
    return std::string(kUsage) + Language().more;
}

std::string HelpText(Command topic) {
    const Texts& t = Language();
    switch (topic) {
    case Command::kConvert:
        return std::string(t.convert) + "\n" + t.common + t.exit;
    case Command::kDump:
        return std::string(t.dump) + "\n" + t.common + t.exit;
    case Command::kFormats:
        return std::string(t.formats) + "\n" + t.common;
    case Command::kPlugins:
        return std::string(t.plugins) + "\n" + t.common;
    default:
        return std::string(kUsage) + "\n" + t.commands + "\n" + t.common + t.exit;
    }
}

} // namespace ombra_host
