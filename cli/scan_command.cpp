// pictora-cli scan: finds photos, sound and video on a device, a raw disk
// image or an image set, lists what it found and may save it. The activity
// log gets the entries the desktop pages would write for the same run.
#include <chrono>
#include <iostream>
#include <map>
#include <span>
#include <variant>
#include <vector>

#include "cli/commands.h"
#include "cli/common.h"
#include "cli/job_wait.h"
#include "cli/save_files.h"
#include "core/filesystems/named_files.h"
#include "core/scan/type_selection.h"
#include "logs/activity_entries.h"
#include "platform/files.h"
#include "platform/path_kind.h"
#include "platform/settings_store.h"
#include "platform/terminal.h"
#include "recovery/jobs/scan_job.h"
#include "settings/settings.h"

namespace zt::cli {

namespace {

constexpr std::string_view kScanHelp = R"(Usage: pictora-cli scan SOURCE [options]

Finds photos, sound and video on SOURCE by their signatures, without using its
file system, and lists what was found. SOURCE is never written to.

SOURCE is one of:
  a block device       a whole disk (/dev/sdb, /dev/mmcblk0) or a partition
                       (/dev/sdb1); a disk the user may not read is opened
                       read-only through udisks2, which asks for the
                       password on the terminal (or run it with sudo)
  a raw disk image     a regular file holding a sector copy, such as card.dd
  a folder             holding an image set made by the imaging job
                       (Image0.img, Image1.img, ...)
  a label              of a drive or disk as 'pictora-cli devices' lists it:
                       Disk1, 'Local Disk (sdb1)', 'HOLIDAY (mmcblk0p1)'

Options:
  --range START:END    scan sectors START up to, not including, END (decimal,
                       at most 18014398509481983). Default: the whole source.
                       A range past the end of the source is scanned; the
                       sectors beyond the end read as zeros.
  --types all|T1,T2,.. the file types to look for, by their names below
                       (any letter case). Default: all.
  --signatures extended|standard
                       extended (the default): headers as each format
                       defines them, more formats (the types marked below),
                       ends found by following the file's structure however
                       long the file is (up to 4 GiB, and further where MP4,
                       MOV, M4A, 3GP, HEIC, MKV, WEBM, AVI and RF64 WAV files
                       record larger sizes), saved files cut to
                       their exact length, and nothing reported that lies
                       inside a file already found (such as the preview
                       picture inside a camera photo, or the frames of a
                       video). standard: the catalogue's own header patterns
                       and end rules, and nothing else.
  --max-size TYPE=KB   the largest size in KB kept for a file of TYPE.
                       extended: 2..4194304, default 262144 (256 MB) for
                       pictures and 4194304 (4 GiB) for sound and video; a
                       longer file is kept up to this size and marked cut,
                       except that at 4194304 a file whose own size fields
                       take it further is kept whole.
                       standard: the size kept for a file whose end cannot be
                       found, 2..250000, default 2000. Other values become
                       the default. May be given several times.
  --file-system auto|off
                       auto: also read the FAT12, FAT16, FAT32 and exFAT file
                       systems of SOURCE (on a partition, or in the MBR or GPT
                       partitions of a disk): their live files, fragmented or
                       not, and the deleted files whose data is still theirs
                       are found with their folders, names and times; after
                       a quick format, the files of the old folders found in
                       the data area come under 'Orphan folders/'. The
                       carving goes on as without it; a carved file that
                       starts where such a file starts is shown once, with its
                       name, and saved once, by --save, under its name (see
                       --save). off: signatures only (the default)
  --list               print only the found files, one per line, separated by
                       tabs: file name, type, start sector, sector count; with
                       extended signatures also the length in bytes (0 where
                       only the sectors are known); with --file-system auto
                       also the length in bytes, the state (live, deleted,
                       deleted-maybe-overwritten, or - for a carved file), the
                       modification time (UTC, - when unknown) and the path
                       inside the file system (- for a carved file); and a
                       last field 'cut' on a file that is not whole (its end
                       was not found, or it is longer than its --max-size)
  --bad-sectors ask|retry|skip
                       what to do with sectors that cannot be read: ask on the
                       terminal each time (Retry, Skip, Retry All, Skip All),
                       retry each one sector by sector, or skip it (zeros).
                       Default: ask when input is a terminal, otherwise retry.
  --save DIR           after the scan, save every found file into the existing
                       folder DIR, one subfolder per type (DIR/JPEG/File1.JPEG).
                       DIR may not lie on the medium being scanned: saving
                       there could overwrite the files still to be recovered.
                       Each saved file holds the file's sectors from its start
                       sector through start + sector count, or its length in
                       bytes where the scan knows it. Files that are not whole
                       are counted at the end. With --file-system auto, a file
                       a file system names is saved whole from its pieces
                       under a folder for that file system, its own folders
                       and its name, with its modification time
                       (DIR/FAT32 at sector 2048/DCIM/100PHONE/IMG_0001.JPG);
                       names the card gives are cleaned of '/', '..', control
                       characters and the characters FAT refuses, and two
                       that would be the same get a number: 'A (2).JPG'.
  --overwrite ask|yes|no
                       when a file to save already exists in DIR: ask on the
                       terminal (Yes, Yes to All, No, No to All), replace them
                       all, or keep them all. Default: ask when input is a
                       terminal, otherwise keep. A kept file counts as saved.
  --help               show this text

While it runs, progress is shown on stderr when stderr is a terminal. Ctrl+C
stops the scan at its next 1000-sector step and reports what was found so far
(and saves it when --save is given); during saving, Ctrl+C stops after the
file in hand. A second Ctrl+C ends the program at once.

The run is written to the activity log, and every save to the recovery log,
in the folders the settings name (by default ~/.local/state/zentrix-pictora).

Exit status: 0 the scan (and the saving) completed; 1 the source cannot be
read, or files could not be saved; 2 bad arguments, range, types or save
folder; 3 the scan (and the saving) completed, but sectors that could not be
read were given as zeros (their count is printed and logged); 130 stopped
with Ctrl+C.

File types:
)";

struct ScanOptions {
    std::string source;
    std::optional<std::string> range;
    std::optional<std::string> types;
    std::vector<std::pair<std::string, std::string>> maxSizes;  // type, KB text
    bool list = false;
    BadSectorMode badSectors = BadSectorMode::Default;
    std::optional<SaveOptions> save;
    std::optional<std::string> overwrite;
    SignatureMode signatures = SignatureMode::Extended;
    bool fileSystem = false;
    bool help = false;
};

void PrintScanHelp() {
    std::cout << kScanHelp;
    for (const CatalogueRow& row : CatalogueRows(SignatureMode::Extended)) {
        std::string name(row.fileType);
        name.resize(6, ' ');
        const bool standard = LookupDefinition(row.fileType, SignatureMode::Standard).has_value();
        const bool extended = LookupDefinition(row.fileType, SignatureMode::Extended).has_value();
        std::cout << "  " << name << row.description
                  << (!extended ? " (listed, but not looked for)" : (standard ? "" : " (extended signatures only)"))
                  << '\n';
    }
}

// Returns the options, or an error text for a usage problem.
std::variant<ScanOptions, std::string> ParseScanOptions(std::span<const std::string> args) {
    ScanOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inlineValue;
        if (arg.starts_with("--") && arg.find('=') != std::string::npos) {
            inlineValue = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue) return inlineValue;
            if (i + 1 < args.size()) return args[++i];
            return std::nullopt;
        };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--list") {
            options.list = true;
        } else if (arg == "--range" || arg == "--types" || arg == "--max-size" || arg == "--bad-sectors" ||
                   arg == "--save" || arg == "--overwrite" ||
                   arg == "--signatures" || arg == "--file-system") {
            std::optional<std::string> v = value();
            if (!v) return "option " + arg + " needs a value";
            if (arg == "--range") {
                options.range = *v;
            } else if (arg == "--types") {
                options.types = *v;
            } else if (arg == "--save") {
                if (v->empty()) return "--save needs a folder";
                // The recovery log names the folder wherever the program was started.
                const std::optional<std::string> folder = platform::AbsolutePath(*v);
                if (!folder) {
                    return "--save folder '" + *v +
                           "' is relative, but the current folder no longer exists: give it as an absolute path";
                }
                options.save = SaveOptions{*folder};
            } else if (arg == "--overwrite") {
                options.overwrite = *v;
            } else if (arg == "--file-system") {
                if (*v == "auto" || *v == "off") {
                    options.fileSystem = *v == "auto";
                } else {
                    return "--file-system wants auto or off, not '" + *v + "'";
                }
            } else if (arg == "--signatures") {
                if (*v == "standard") {
                    options.signatures = SignatureMode::Standard;
                } else if (*v == "extended") {
                    options.signatures = SignatureMode::Extended;
                } else {
                    return "--signatures wants standard or extended, not '" + *v + "'";
                }
            } else if (arg == "--max-size") {
                const std::size_t eq = v->find('=');
                if (eq == std::string::npos) return "--max-size wants TYPE=KB, not '" + *v + "'";
                options.maxSizes.emplace_back(v->substr(0, eq), v->substr(eq + 1));
            } else if (std::optional<BadSectorMode> mode = ParseBadSectorMode(*v)) {
                options.badSectors = *mode;
            } else {
                return "--bad-sectors wants ask, retry or skip, not '" + *v + "'";
            }
        } else if (arg.starts_with("-") && arg != "-") {
            return "unknown option " + arg;
        } else if (options.source.empty()) {
            options.source = arg;
        } else {
            return "only one SOURCE can be scanned, got '" + options.source + "' and '" + arg + "'";
        }
    }
    if (!options.help && options.source.empty()) return "scan needs a SOURCE";
    if (options.overwrite) {
        if (!options.save) return "--overwrite goes with --save";
        if (*options.overwrite == "ask") {
            options.save->overwrite = OverwriteMode::Ask;
        } else if (*options.overwrite == "yes") {
            options.save->overwrite = OverwriteMode::Yes;
        } else if (*options.overwrite == "no") {
            options.save->overwrite = OverwriteMode::No;
        } else {
            return "--overwrite wants ask, yes or no, not '" + *options.overwrite + "'";
        }
    }
    return options;
}

std::optional<std::size_t> CatalogueRowOf(std::string_view name, SignatureMode mode) {
    const std::string wanted = UpperCase(name);
    const auto rows = CatalogueRows(mode);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (UpperCase(rows[i].fileType) == wanted) return i;
    }
    return std::nullopt;
}

// Ticks and sizes the type rows as the options say; an error text when a
// name is not a type of the catalogue.
std::optional<std::string> ApplyTypeOptions(const ScanOptions& options, std::vector<TypeRow>& rows) {
    const std::string types = options.types.value_or("all");
    if (UpperCase(types) == "ALL") {
        for (TypeRow& row : rows) row.ticked = true;
    } else {
        for (const std::string& name : SplitList(types, ',')) {
            if (name.empty()) continue;
            const std::optional<std::size_t> row = CatalogueRowOf(name, options.signatures);
            if (!row) {
                if (CatalogueRowOf(name, SignatureMode::Extended))
                    return "file type '" + name + "' is looked for only with --signatures extended";
                return "unknown file type '" + name + "' (pictora-cli scan --help lists them)";
            }
            rows[*row].ticked = true;
        }
    }
    for (const auto& [name, kb] : options.maxSizes) {
        const std::optional<std::size_t> row = CatalogueRowOf(name, options.signatures);
        if (!row) return "unknown file type '" + name + "' in --max-size";
        rows[*row].sizeText = kb;
    }
    return std::nullopt;
}

std::string_view StateText(NamedFileState state) {
    switch (state) {
        case NamedFileState::Live:
            return "live";
        case NamedFileState::Deleted:
            return "deleted";
        case NamedFileState::DeletedMaybeOverwritten:
            return "deleted-maybe-overwritten";
    }
    return "-";
}

// "2026-07-14 10:11:12", or "-" when the file system gave no time.
std::string UtcTimeText(std::int64_t seconds) {
    if (seconds == 0) return "-";
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

// A path as one field of a line: control characters (a tab would split the
// field) are shown as '?'.
std::string PathField(std::string path) {
    for (char& c : path) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return path;
}

void PrintList(const FoundFileList& found, SignatureMode mode, bool fileSystem) {
    const std::vector<FileInfo> files = found.Snapshot();
    const std::map<std::size_t, NamedFile> named = found.NamedSnapshot();
    std::string out;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const FileInfo& f = files[i];
        out += std::string(f.FileName()) + '\t' + std::string(f.TypeName()) + '\t' + std::to_string(f.startSector) +
               '\t' + std::to_string(f.sectorCount);
        if (mode == SignatureMode::Extended || fileSystem) out += '\t' + std::to_string(f.byteLength);
        if (fileSystem) {
            const auto it = named.find(i);
            if (it == named.end()) {
                out += "\t-\t-\t-";
            } else {
                out += '\t' + std::string(StateText(it->second.state)) + '\t' + UtcTimeText(it->second.modified) +
                       '\t' + PathField(it->second.path);
            }
        }
        // A field only on the files that are not whole keeps the others' lines as they were.
        if (f.cut != 0) out += "\tcut";
        out += '\n';
    }
    std::cout << out << std::flush;
}

// What saving the file writes: its exact length where the format gave it,
// else its start sector and sectorCount more.
std::uint64_t FileBytes(const FileInfo& f) {
    if (f.byteLength > 0) return f.byteLength;
    return f.sectorCount >= 0 ? (std::uint64_t(f.sectorCount) + 1) * kSectorSize : 0;
}

void PrintTable(const FoundFileList& found, const TypeDefinitionList& types) {
    const std::vector<FileInfo> files = found.Snapshot();
    const std::map<std::size_t, NamedFile> named = found.NamedSnapshot();
    if (files.empty()) {
        std::cout << "No files found.\n";
        return;
    }
    // Grouped by type, types in catalogue order, files in the order found.
    for (const stExtInfo& type : types) {
        std::vector<const FileInfo*> ofType;
        std::uint64_t bytes = 0;
        for (const FileInfo& f : files) {
            if (f.type != type.type) continue;
            ofType.push_back(&f);
            bytes += FileBytes(f);
        }
        auto pathOf = [&](const FileInfo* f) -> std::string {
            const auto it = named.find(static_cast<std::size_t>(f - files.data()));
            return it == named.end() ? std::string() : PathField(it->second.path);
        };
        if (ofType.empty()) continue;
        std::cout << type.Name() << ": " << ofType.size() << (ofType.size() == 1 ? " file, " : " files, ")
                  << SizeText(bytes) << '\n';
        for (const FileInfo* f : ofType) {
            char line[128];
            std::snprintf(line, sizeof line, "  %-20s sector %12llu  %10d sectors  %10s%s\n", f->fileName.data(),
                          static_cast<unsigned long long>(f->startSector), f->sectorCount,
                          SizeText(FileBytes(*f)).c_str(), f->cut != 0 ? "  cut" : "");
            std::cout << line;
            // A file named by the file system shows its path under its line.
            if (const std::string path = pathOf(f); !path.empty()) std::cout << "    " << path << '\n';
        }
    }
}

// The summary's lines as the activity log has them, without its blank lines and heading.
void PrintSummary(std::ostream& out, const ScanSummary& summary) {
    const std::vector<std::string> entries = ScanSummaryEntries(summary);
    for (std::size_t i = 1; i < entries.size(); ++i) {
        if (entries[i] != "\r\n") out << entries[i] << '\n';
    }
    out << std::flush;
}

// Runs the scan on its thread and shows progress until it ends.
ScanSummary RunScan(jobs::ScanJob& job, TerminalLines& lines) {
    WaitForJob(lines, {.slot = job.Slot(),
                       .start = [&job] { job.Start(); return true; },
                       .ended = [&job](std::chrono::milliseconds step) { return job.WaitUntilEnded(step); },
                       .progressLine = [&job](double seconds) {
                           const jobs::ScanProgress p = job.Progress();
                           return ProgressText({p.current, p.rangeStart, p.end, p.found, seconds, {}});
                       },
                       .stopNotice = "Stopping: the scan ends at its next step"});
    // The scan was started and has ended: its summary is there.
    return job.Finish().value();
}

}  // namespace

int ScanCommand(Session& session, std::span<const std::string> args) {
    auto parsed = ParseScanOptions(args);
    if (auto* error = std::get_if<std::string>(&parsed)) {
        PrintError(*error);
        std::cerr << "Try 'pictora-cli scan --help'.\n";
        return ExitUsage;
    }
    const ScanOptions& options = std::get<ScanOptions>(parsed);
    if (options.help) {
        PrintScanHelp();
        return ExitOk;
    }

    // Like the main page, the run begins its activity-log entries with the start block.
    const jobs::RunLog runLog(session.Logs());
    runLog.Begin(session.Settings(), std::time(nullptr));

    std::vector<TypeRow> rows = DefaultTypeRows(options.signatures);
    if (std::optional<std::string> error = ApplyTypeOptions(options, rows)) {
        PrintError(*error);
        return ExitUsage;
    }
    TypeSelection selection = BuildTypeDefinitionList(rows, options.signatures);
    if (selection.Refused()) {
        PrintError(NoTypeTickedMessage);
        return ExitUsage;
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (selection.sizeCorrected[i]) {
            PrintWarning("maximum size '" + rows[i].sizeText + "' of " + rows[i].fileType + " is outside 2.." +
                         std::to_string(LargestMaxSizeKB(options.signatures)) + " KB; " + selection.sizeTexts[i] +
                         " KB is used");
        }
    }

    SourceDescriptor& source = session.Source();
    const auto selected = SelectSource(session, options.source, options.range, true);
    if (const int* status = std::get_if<int>(&selected)) return *status;
    if (options.save) {
        if (std::optional<std::string> problem = SaveFolderProblem(session, options.save->folder, options.source)) {
            PrintError(*problem);
            return ExitUsage;
        }
    }
    runLog.SourceChosen(std::get<SelectedSource>(selected).header);
    // --types all stands for the select-all box.
    runLog.TypesChosen(UpperCase(options.types.value_or("all")) == "ALL", selection.tickedTypes, options.signatures);

    TerminalLines lines;
    TerminalBadSectorPrompt prompt(lines);
    BadSectorPolicyState& policy = session.BadSectors();
    ApplyBadSectorMode(options.badSectors, policy, prompt);

    FoundFileList& found = session.Found();
    session.SetTypes(selection.definitions, options.signatures);
    TypeDefinitionList& types = session.Types();
    jobs::ScanJob job({source, policy, session.Seams().rawIo, types, found, session.Signatures(), options.fileSystem},
                      runLog);
    const ScanSummary summary = RunScan(job, lines);

    const std::vector<FileInfo> files = found.Snapshot();
    // With --list, stdout carries only the list.
    std::ostream& report = options.list ? std::cerr : std::cout;
    if (options.list) {
        PrintList(found, options.signatures, options.fileSystem);
    } else {
        PrintTable(found, types);
        std::cout << '\n';
    }
    PrintSummary(report, summary);
    PrintUnreadable(summary.unreadableSectors);
    int scanStatus = summary.unreadableSectors != 0 ? ExitUnreadable : ExitOk;
    if (summary.aborted) scanStatus = ExitStopped;
    if (summary.sourceEndedAt) {
        PrintError("the scan failed: " + SourceEndedText(*summary.sourceEndedAt) + "; the files listed are those "
                   "found before it");
        scanStatus = ExitFailure;
    }
    if (!options.save) return scanStatus;
    report << '\n';
    const int saveStatus = SaveFoundFiles(session, *options.save, lines, report);
    // A failure outweighs a stop, and a stop outweighs unreadable sectors.
    for (const int status : {ExitFailure, ExitStopped, ExitUnreadable}) {
        if (saveStatus == status || scanStatus == status) return status;
    }
    return ExitOk;
}

}  // namespace zt::cli
