#include "support/RecordingPlatform.h"

#include "support/SplitCommandLine.h"

#include <algorithm>
#include <memory>

namespace testing_support {

using platform::NameList;
using platform::StartedProcess;

// A started process: its place among the running commands.
struct RecordingPlatform::Process : StartedProcess::Handle {
    explicit Process(std::size_t i) : index(i) {}
    std::size_t index;
};

platform::StartResult RecordingPlatform::RunDetached(std::u16string_view program, std::u16string_view commandLine) {
    const std::size_t number = startAttempts_++;
    if (failStartNumber && *failStartNumber == number)
        return {false, 2, u"The system cannot find the file specified.", {}};
    events.push_back({Event::Kind::Start, std::u16string(program), std::u16string(commandLine), 0, 0, now});
    Running run{std::u16string(commandLine), now, std::nullopt, false};
    if (const auto time = runTime(commandLine)) run.endsAt = now + *time;
    running_.push_back(std::move(run));
    return {true, 0, {}, StartedProcess(std::make_unique<Process>(running_.size() - 1))};
}

platform::WaitResult RecordingPlatform::WaitForProcesses(const std::vector<StartedProcess>& processes,
                                                         std::uint32_t timeoutMilliseconds) {
    events.push_back({Event::Kind::Wait, {}, {}, timeoutMilliseconds, processes.size(), now});
    if (duringWait) duringWait();
    std::uint64_t lastEnd = now;
    bool endsInTime = true;
    for (const StartedProcess& process : processes) {
        const Running& run = running_.at(static_cast<const Process*>(process.get())->index);
        if (!run.endsAt || *run.endsAt > now + timeoutMilliseconds) endsInTime = false;
        else lastEnd = std::max(lastEnd, *run.endsAt);
    }
    AdvanceTo(endsInTime ? lastEnd : now + timeoutMilliseconds);
    return endsInTime ? platform::WaitResult::AllEnded : platform::WaitResult::TimedOut;
}

std::optional<std::u16string> RecordingPlatform::ListingFailure(const std::optional<std::u16string>& fails) {
    AdvanceTo(now);
    if (listingsFailFrom && ++listings >= *listingsFailFrom) return u"The RPC server is unavailable.";
    return fails;
}

NameList RecordingPlatform::ListPrinters() {
    events.push_back({Event::Kind::ListPrinters, {}, {}, 0, 0, now});
    if (const auto failure = ListingFailure(printerListingFails)) return {false, {}, *failure};
    return {true, printers, {}};
}

NameList RecordingPlatform::ListPrinterDrivers() {
    events.push_back({Event::Kind::ListPrinterDrivers, {}, {}, 0, 0, now});
    if (const auto failure = ListingFailure(driverListingFails)) return {false, {}, *failure};
    return {true, drivers, {}};
}

void RecordingPlatform::Sleep(std::uint32_t milliseconds) {
    events.push_back({Event::Kind::Sleep, {}, {}, milliseconds, 0, now});
    AdvanceTo(now + milliseconds);
}

platform::PrinterInfoList RecordingPlatform::ListPrinterDetails() {
    events.push_back({Event::Kind::ListPrinterDetails, {}, {}, 0, 0, now});
    if (const auto failure = ListingFailure(printerListingFails)) return {false, {}, *failure};
    platform::PrinterInfoList list{true, {}, {}};
    for (const auto& name : printers) list.printers.push_back({name, printerPorts[name], printerDrivers[name]});
    return list;
}

platform::PrinterInfoList RecordingPlatform::ListLocalPrinters() {
    platform::PrinterInfoList list = ListPrinterDetails();
    std::erase_if(list.printers, [&](const platform::PrinterInfo& p) { return printerConnections.count(p.name) > 0; });
    return list;
}

platform::PrinterLookup RecordingPlatform::FindPrinter(std::u16string_view name) {
    events.push_back({Event::Kind::FindPrinter, std::u16string(name), {}, 0, 0, now});
    AdvanceTo(now + findPrinterTakes);
    platform::PrinterLookup lookup;
    if (const auto failure = ListingFailure(printerListingFails)) {
        lookup.reason = *failure;
        return lookup;
    }
    lookup.asked = true;
    const std::u16string asked(name);
    if (std::find(printers.begin(), printers.end(), asked) != printers.end()) {
        lookup.found = true;
        lookup.printer = {asked, printerPorts[asked], printerDrivers[asked]};
    }
    return lookup;
}

std::u16string RecordingPlatform::FullPath(std::u16string_view path) {
    const bool absolute = (path.size() > 1 && path[1] == u':') || (!path.empty() && path[0] == u'\\');
    return absolute ? std::u16string(path) : u"C:\\Work\\" + std::u16string(path);
}

// A file opened for appending: its content lives in `files`, at the link's
// target for a redirected one.
class RecordingPlatform::File : public platform::AppendFile {
public:
    File(RecordingPlatform& machine, std::u16string path) : machine_(machine), path_(std::move(path)) {}
    platform::PathFacts Facts() override { return machine_.Examine(path_); }
    std::uint64_t Size() override { return Content().size(); }
    bool EndsWithLineBreak() override { return Content().empty() || Content().back() == '\n'; }
    bool Append(std::string_view bytes, std::u16string& reason) override {
        if (!machine_.filesWritable) {
            reason = u"Access is denied.";
            return false;
        }
        machine_.fileEvents.push_back(u"append " + path_);
        Content().append(bytes);
        return true;
    }
    bool RenameReplacing(std::u16string_view to, std::u16string& reason) override {
        if (machine_.renameFails || !machine_.filesWritable) {
            reason = u"The process cannot access the file because it is being used by another process.";
            return false;
        }
        const std::u16string target = path_.substr(0, path_.rfind(u'\\') + 1) + std::u16string(to);
        bool logLockHeld = false;
        for (const auto& lock : machine_.locksHeld) logLockHeld = logLockHeld || lock.ends_with(u".log.lock");
        machine_.fileEvents.push_back(u"rename " + path_ + u" -> " + target +
                                      (logLockHeld ? u" (log lock held)" : u" (log lock not held)"));
        machine_.files[target] = std::move(machine_.files[path_]);
        machine_.files.erase(path_);
        machine_.nodes.erase(target);
        machine_.ids_.erase(target);
        if (auto id = machine_.ids_.extract(path_)) {
            id.key() = target;
            machine_.ids_.insert(std::move(id));
        }
        if (auto node = machine_.nodes.extract(path_)) {
            node.key() = target;
            machine_.nodes.insert(std::move(node));
        }
        return true;
    }

private:
    std::string& Content() {
        auto node = machine_.nodes.find(path_);
        return machine_.files[node != machine_.nodes.end() && node->second.redirected ? node->second.target : path_];
    }
    RecordingPlatform& machine_;
    std::u16string path_;
};

class RecordingPlatform::Lock : public platform::HeldLock {
public:
    Lock(RecordingPlatform& machine, std::u16string path) : machine_(machine), path_(std::move(path)) {
        machine_.locksHeld.insert(path_);
    }
    ~Lock() override { machine_.locksHeld.erase(path_); }

private:
    RecordingPlatform& machine_;
    std::u16string path_;
};

std::vector<platform::AccessEntry> RecordingPlatform::AccessOf(std::u16string_view sddl) {
    static const std::map<std::u16string, std::u16string> kAliases = {
        {u"SY", u"S-1-5-18"}, {u"BA", u"S-1-5-32-544"}, {u"BU", u"S-1-5-32-545"}, {u"WD", u"S-1-1-0"},
        {u"AU", u"S-1-5-11"}, {u"IU", u"S-1-5-4"}};
    std::vector<platform::AccessEntry> entries;
    for (std::size_t open = sddl.find(u'('); open != std::u16string_view::npos; open = sddl.find(u'(', open + 1)) {
        const std::u16string_view ace = sddl.substr(open + 1, sddl.find(u')', open) - open - 1);
        std::vector<std::u16string> fields(1);
        for (char16_t c : ace) {
            if (c == u';') fields.emplace_back();
            else fields.back() += c;
        }
        if (fields.size() != 6) continue;
        platform::AccessEntry entry;
        entry.allow = fields[0] == u"A";
        entry.inheritOnly = fields[1].find(u"IO") != std::u16string::npos;
        entry.mask = fields[2] == u"FA" ? 0x1F01FFu
                                        : static_cast<std::uint32_t>(std::stoul(std::string(fields[2].begin(), fields[2].end()), nullptr, 0));
        auto alias = kAliases.find(fields[5]);
        entry.sid = alias != kAliases.end() ? alias->second : fields[5];
        entries.push_back(entry);
    }
    return entries;
}

platform::PathFacts RecordingPlatform::Examine(std::u16string_view path) {
    const std::u16string key(path);
    platform::PathFacts facts;
    auto node = nodes.find(key);
    if (node == nodes.end()) {
        // A drive's root, %ProgramData%, or a folder on the way to a file or
        // folder, is a plain folder of SYSTEM's with no entries of its own.
        const bool root = (key.size() == 3 && key[1] == u':' && key[2] == u'\\') || key == ProgramDataDirectory();
        const auto after = files.lower_bound(key + u"\\");
        const auto afterNode = nodes.lower_bound(key + u"\\");
        if (root || (after != files.end() && after->first.rfind(key + u"\\", 0) == 0) ||
            (afterNode != nodes.end() && afterNode->first.rfind(key + u"\\", 0) == 0)) {
            facts.exists = facts.directory = facts.securityRead = true;
            facts.owner = u"S-1-5-18";
            return facts;
        }
        if (!files.count(key)) return facts;
        facts.exists = true;
        facts.securityRead = true;
        facts.owner = runningUser;
        return facts;
    }
    facts.exists = true;
    facts.directory = node->second.directory;
    facts.redirected = node->second.redirected;
    facts.links = node->second.links;
    facts.securityRead = true;
    facts.owner = node->second.owner;
    facts.nullDacl = node->second.nullDacl;
    facts.access = node->second.access;
    return facts;
}

bool RecordingPlatform::CreateFolderAt(const std::u16string& key, std::u16string_view descriptor,
                                       std::u16string& reason) {
    if (foldersMadeMeanwhile.erase(key)) {
        Node other;
        other.owner = u"S-1-5-21-1-2-3-1001";
        other.access = AccessOf(descriptor);
        nodes[key] = other;
    }
    if (!filesWritable || Examine(key).exists) {
        reason = filesWritable ? u"Cannot create a file when that file already exists." : u"Access is denied.";
        return false;
    }
    fileEvents.push_back(u"create-folder " + key);
    Node folder;
    folder.owner = runningUser;
    folder.access = AccessOf(descriptor);
    folder.descriptor = std::u16string(descriptor);
    nodes[key] = folder;
    return true;
}

bool RecordingPlatform::RemoveAt(const std::u16string& key, std::u16string& reason) {
    const bool link = nodes.count(key) && nodes[key].redirected;
    if (removalFails.count(key) || linksOpenedAsTarget.count(key) || !filesWritable || !Examine(key).exists ||
        (!link && !NamesIn(key).empty())) {
        reason = u"The process cannot access the file because it is being used by another process.";
        return false;
    }
    fileEvents.push_back(u"remove " + key);
    nodes.erase(key);  // a link goes, its target stays
    files.erase(key);
    ids_.erase(key);
    return true;
}

bool RecordingPlatform::MoveAt(const std::u16string& from, const std::u16string& target, std::u16string& reason) {
    if (!filesWritable || removalFails.count(from) || linksOpenedAsTarget.count(from) || Examine(target).exists) {
        reason = linksOpenedAsTarget.count(from) ? u"the system opened what it points to instead of the link itself"
                                                 : u"Cannot create a file when that file already exists.";
        return false;
    }
    fileEvents.push_back(u"move " + from + u" -> " + target);
    // The whole tree goes with it: everything whose path begins with `from`.
    auto moveKeys = [&](auto& map) {
        std::vector<std::u16string> keys;
        for (const auto& [key, value] : map)
            if (key == from || key.rfind(from + u"\\", 0) == 0) keys.push_back(key);
        for (const auto& key : keys) {
            auto item = map.extract(key);
            item.key() = target + key.substr(from.size());
            map.insert(std::move(item));
        }
    };
    moveKeys(nodes);
    moveKeys(files);
    moveKeys(ids_);
    return true;
}

std::vector<std::u16string> RecordingPlatform::NamesIn(const std::u16string& path) {
    const std::u16string prefix = path.back() == u'\\' ? path : path + u"\\";
    std::set<std::u16string> names;
    // A deeper path names the folder on its way as well.
    auto add = [&](const std::u16string& full) {
        if (full.rfind(prefix, 0) == 0 && full.size() > prefix.size())
            names.insert(full.substr(prefix.size(), full.find(u'\\', prefix.size()) - prefix.size()));
    };
    for (const auto& [name, content] : files) add(name);
    for (const auto& [name, node] : nodes) add(name);
    return std::vector<std::u16string>(names.begin(), names.end());
}

std::uint64_t RecordingPlatform::IdOf(const std::u16string& path) {
    auto [it, added] = ids_.try_emplace(path, nextId_);
    if (added) ++nextId_;
    return it->second;
}

// A folder held by path: the stand-in keeps no handles, so what a handle
// guards against is checked at each use: the entry is still the one listed
// (its number), and is no link.
class RecordingPlatform::Folder : public platform::HeldFolder {
public:
    Folder(RecordingPlatform& machine, std::u16string path) : machine_(machine), path_(std::move(path)) {}
    const std::u16string& Path() const override { return path_; }
    platform::PathFacts Facts() override { return machine_.Examine(path_); }
    std::optional<std::vector<platform::FolderEntry>> Entries(std::u16string& reason) override {
        if (!machine_.Examine(path_).exists) {
            reason = u"The system cannot find the path specified.";
            return std::nullopt;
        }
        std::vector<platform::FolderEntry> entries;
        for (const auto& name : machine_.NamesIn(path_)) {
            const std::u16string path = Within(name);
            const platform::PathFacts facts = machine_.Examine(path);
            const auto file = machine_.files.find(path);
            entries.push_back({name, facts.directory, facts.redirected,
                               file == machine_.files.end() ? 0 : file->second.size(), machine_.IdOf(path)});
        }
        if (auto swap = machine_.afterListing.extract(path_)) swap.mapped()();
        return entries;
    }
    platform::PathFacts EntryFacts(const platform::FolderEntry& entry) override {
        platform::PathFacts facts = machine_.Examine(Within(entry.name));
        if (std::u16string why; !Same(entry, why)) {
            facts.securityRead = false;
            facts.reason = why;
        }
        return facts;
    }
    std::unique_ptr<platform::HeldFolder> OpenFolder(const platform::FolderEntry& entry, std::u16string& reason) override {
        const std::u16string path = Within(entry.name);
        if (!Same(entry, reason)) return nullptr;
        const platform::PathFacts facts = machine_.Examine(path);
        if (facts.redirected && facts.directory && machine_.foldersOpenThroughLinks)
            return std::make_unique<Folder>(machine_, machine_.nodes[path].target);
        if (facts.redirected || !facts.directory) {
            reason = facts.redirected ? u"it is a link" : u"it is not a folder";
            return nullptr;
        }
        return std::make_unique<Folder>(machine_, path);
    }
    std::optional<std::string> ReadFile(const platform::FolderEntry& entry, std::uint64_t limit,
                                        std::u16string& reason) override {
        const std::u16string path = Within(entry.name);
        if (!Same(entry, reason)) return std::nullopt;
        const platform::PathFacts facts = machine_.Examine(path);
        const auto file = machine_.files.find(path);
        if (facts.redirected || facts.links != 1 || file == machine_.files.end()) {
            reason = facts.redirected ? u"it is a link" : facts.links != 1 ? u"it has more than one name" : u"it is not a file";
            return std::nullopt;
        }
        const auto size = machine_.fileSizes.find(path);
        if ((size == machine_.fileSizes.end() ? file->second.size() : size->second) > limit) {
            reason = u"it is larger than " + Decimal(limit) + u" bytes";
            return std::nullopt;
        }
        machine_.reads.push_back(path);
        return file->second;
    }
    std::unique_ptr<platform::HeldFolder> CreateFolder(std::u16string_view name, std::u16string_view descriptor,
                                                       std::u16string& reason) override {
        if (!machine_.CreateFolderAt(Within(name), descriptor, reason)) return nullptr;
        return std::make_unique<Folder>(machine_, Within(name));
    }
    bool CreateFile(std::u16string_view name, std::u16string_view descriptor, std::string_view bytes,
                    std::u16string& reason) override {
        const std::u16string path = Within(name);
        if (!machine_.filesWritable || machine_.Examine(path).exists) {
            reason = machine_.filesWritable ? u"Cannot create a file when that file already exists." : u"Access is denied.";
            return false;
        }
        machine_.fileEvents.push_back(u"create-file " + path);
        machine_.files[path] = std::string(bytes);
        Node file;
        file.directory = false;
        file.owner = machine_.runningUser;
        file.access = AccessOf(descriptor);
        file.descriptor = std::u16string(descriptor);
        machine_.nodes[path] = file;
        return true;
    }
    bool Rename(const platform::FolderEntry& entry, std::u16string_view to, std::u16string& reason) override {
        return Same(entry, reason) && machine_.MoveAt(Within(entry.name), Within(to), reason);
    }
    bool Remove(const platform::FolderEntry& entry, std::u16string& reason) override {
        return Same(entry, reason) && machine_.RemoveAt(Within(entry.name), reason);
    }
    platform::LockAttempt TakeLock(std::u16string_view name, std::u16string_view descriptor,
                                   std::uint32_t waitMilliseconds) override {
        return machine_.TakeLockAt(Within(name), descriptor, waitMilliseconds);
    }
    std::unique_ptr<platform::AppendFile> OpenForAppend(std::u16string_view name, std::u16string& reason) override {
        return machine_.OpenForAppendAt(Within(name), reason);
    }

private:
    std::u16string Within(std::u16string_view name) const {
        return (path_.back() == u'\\' ? path_ : path_ + u"\\") + std::u16string(name);
    }
    // Whether what is there now is what `entry` listed.
    bool Same(const platform::FolderEntry& entry, std::u16string& reason) {
        const std::u16string path = Within(entry.name);
        if (!machine_.Examine(path).exists || machine_.IdOf(path) != entry.id) {
            reason = u"it changed after it was listed";
            return false;
        }
        return true;
    }
    static std::u16string Decimal(std::uint64_t n) {
        const std::string digits = std::to_string(n);
        return std::u16string(digits.begin(), digits.end());
    }
    RecordingPlatform& machine_;
    std::u16string path_;
};

platform::Files::Opening RecordingPlatform::OpenFolder(std::u16string_view path) {
    Opening opening;
    const std::u16string full(path);
    // Each folder on the way from the drive's root, as a handle walk sees it.
    for (std::size_t at = full.find(u'\\');; at = full.find(u'\\', at + 1)) {
        const std::u16string prefix = at == std::u16string::npos ? full : full.substr(0, std::max<std::size_t>(at, 3));
        const platform::PathFacts facts = Examine(prefix);
        if (facts.redirected) {
            opening.link = true;
            opening.reason = prefix + u" is a junction, symbolic link or mount point";
            return opening;
        }
        if (!facts.exists || !facts.directory) {
            opening.reason = facts.exists ? prefix + u" is not a folder" : u"The system cannot find the path specified.";
            return opening;
        }
        if (at == std::u16string::npos) break;
    }
    opening.folder = std::make_unique<Folder>(*this, full);
    return opening;
}

platform::LockAttempt RecordingPlatform::TakeLockAt(const std::u16string& key, std::u16string_view descriptor,
                                                    std::uint32_t waitMilliseconds) {
    ++lockTakes;
    platform::LockAttempt attempt;
    const bool singleRun = key.ends_with(u"\\PortSetupCli.lock");
    if (locksHeldElsewhere.count(key) || locksHeld.count(key) || (anotherRunActive && singleRun)) {
        now += waitMilliseconds;
        attempt.outcome = platform::LockAttempt::Outcome::HeldElsewhere;
        return attempt;
    }
    if (!filesWritable) {
        attempt.reason = u"Access is denied.";
        return attempt;
    }
    if (!files.count(key) && !nodes.count(key)) {
        files[key];
        lockDescriptors[key] = std::u16string(descriptor);
    }
    attempt.outcome = platform::LockAttempt::Outcome::Taken;
    attempt.lock = std::make_unique<Lock>(*this, key);
    attempt.facts = Examine(key);
    return attempt;
}

std::unique_ptr<platform::AppendFile> RecordingPlatform::OpenForAppendAt(const std::u16string& key,
                                                                         std::u16string& reason) {
    if (!filesWritable) {
        reason = u"Access is denied.";
        return nullptr;
    }
    if (!nodes.count(key)) files[key];
    ++appendOpens;
    return std::make_unique<File>(*this, key);
}

platform::LockAttempt RecordingPlatform::TakeAdministratorsLock(std::u16string_view name) {
    platform::LockAttempt attempt;
    const std::u16string key = u"namespace:" + std::u16string(name);
    if (!privateNamespaces) {
        attempt.reason = u"no private namespace (The request is not supported.)";
        return attempt;
    }
    if (anotherRunActive || locksHeld.count(key)) {
        attempt.outcome = platform::LockAttempt::Outcome::HeldElsewhere;
        return attempt;
    }
    attempt.outcome = platform::LockAttempt::Outcome::Taken;
    attempt.lock = std::make_unique<Lock>(*this, key);
    return attempt;
}

bool RecordingPlatform::PurgePrintJobs(std::u16string_view printer, std::u16string& reason) {
    const std::u16string name(printer);
    if (std::find(printers.begin(), printers.end(), name) == printers.end()) {
        reason = u"The printer name is invalid.";
        return false;
    }
    if (purgeFails) {
        reason = *purgeFails;
        return false;
    }
    purged.push_back(name);
    queuedJobs.erase(name);
    if (deletePending.erase(name)) {
        printers.erase(std::find(printers.begin(), printers.end(), name));
        printerDrivers.erase(name);
    }
    return true;
}

void RecordingPlatform::RunToEnd() {
    std::uint64_t last = now;
    for (const Running& run : running_)
        if (run.endsAt) last = std::max(last, *run.endsAt);
    AdvanceTo(last);
}

void RecordingPlatform::AdvanceTo(std::uint64_t time) {
    for (;;) {
        Running* next = nullptr;
        for (Running& run : running_)
            if (!run.done && run.endsAt && *run.endsAt <= time && (!next || *run.endsAt < *next->endsAt)) next = &run;
        if (!next) break;
        next->done = true;
        ended.push_back({next->commandLine, next->startedAt, *next->endsAt, CarryOut(next->commandLine)});
        // The driver store tool tells by its exit code (printui's is 0).
        const std::string& outcome = ended.back().outcome;
        if (outcome.rfind("exit ", 0) == 0) next->exitCode = static_cast<std::uint32_t>(std::stoul(outcome.substr(5)));
    }
    now = std::max(now, time);
}

// The package of `inf` in the driver store: published once, as oemN.inf
// with the first free N; an identical one published already is found again.
void RecordingPlatform::Publish(const std::u16string& inf) {
    const std::string& bytes = files.at(inf);
    for (const auto& [name, published] : publishedInfs)
        if (published.bytes == bytes) return;
    std::u16string name;
    for (int n = 0; name.empty() || publishedInfs.count(name); ++n) {
        name = u"oem";
        for (char c : std::to_string(n)) name += static_cast<char16_t>(c);
        name += u".inf";
    }
    publishedInfs[name] = {inf.substr(inf.find_last_of(u'\\') + 1), bytes};
}

// The effect of one printer setup command on the print system, as it ends.
std::string RecordingPlatform::CarryOut(const std::u16string& commandLine) {
    const std::vector<std::u16string> args = SplitCommandLine(commandLine);
    const bool driverStore = !args.empty() && args[0] == u"pnputil";
    if (failsOnPurpose && failsOnPurpose(commandLine)) return driverStore ? "exit 1" : "failed";
    auto has = [&](std::u16string_view option) { return std::find(args.begin(), args.end(), option) != args.end(); };
    auto valueOf = [&](std::u16string_view option) {
        auto it = std::find(args.begin(), args.end(), option);
        return it != args.end() && it + 1 != args.end() ? *(it + 1) : std::u16string();
    };
    if (driverStore && has(u"/delete-driver")) {  // pnputil /delete-driver oemNN.inf /uninstall
        const auto published = publishedInfs.find(valueOf(u"/delete-driver"));
        if (published == publishedInfs.end()) return "exit 2";    // ERROR_FILE_NOT_FOUND
        if (storeHeldByDevice) return "exit 3758096957";              // ERROR_INF_IN_USE_BY_DEVICES
        publishedInfs.erase(published);
        return packageDeleteNeedsRestart ? "exit 3010" : "exit 0";
    }
    if (driverStore) {  // pnputil /add-driver INF /install
        if (!has(u"/add-driver") || !has(u"/install")) return "exit 87";   // ERROR_INVALID_PARAMETER
        const std::u16string inf = valueOf(u"/add-driver");
        if (!files.count(inf)) return "exit 2";                            // ERROR_FILE_NOT_FOUND
        Publish(inf);
        if (devicesWithoutDriver.empty()) return "exit 259";               // nothing to update
        for (const std::u16string& model : devicesWithoutDriver) {
            std::u16string name = model;
            for (int copy = 1; std::find(printers.begin(), printers.end(), name) != printers.end(); ++copy)
                name = model + u" (Copy " + std::u16string(1, static_cast<char16_t>(u'0' + copy)) + u")";
            const auto onUsb = std::count_if(printerPorts.begin(), printerPorts.end(),
                                             [](const auto& port) { return port.second.rfind(u"USB", 0) == 0; });
            printers.push_back(name);
            printerDrivers[name] = model;
            printerPorts[name] = u"USB00" + std::u16string(1, static_cast<char16_t>(u'1' + onUsb));
            if (std::find(drivers.begin(), drivers.end(), model) == drivers.end()) drivers.push_back(model);
        }
        devicesWithoutDriver.clear();
        return driverStoreNeedsRestart ? "exit 3010" : "exit 0";
    }
    if (has(u"/dl")) {
        const std::u16string name = valueOf(u"/n");
        auto it = std::find(printers.begin(), printers.end(), name);
        if (it == printers.end()) return "failed";
        if (queuedJobs[name] > 0) {
            deletePending.insert(name);  // goes once its jobs are done
            return "done";
        }
        printers.erase(it);
        printerDrivers.erase(name);
        return "done";
    }
    if (has(u"/dd")) {
        const std::u16string model = valueOf(u"/m");
        for (const auto& [printer, driver] : printerDrivers)
            if (driver == model) return "refused";  // ERROR_PRINTER_DRIVER_IN_USE
        auto it = std::find(drivers.begin(), drivers.end(), model);
        if (it == drivers.end()) return "failed";
        drivers.erase(it);
        return "done";
    }
    if (has(u"/y")) {
        if (std::find(printers.begin(), printers.end(), valueOf(u"/n")) == printers.end()) return "failed";
        defaultPrinter = valueOf(u"/n");
        return "done";
    }
    if (has(u"/if") || has(u"/ia")) {
        if (!files.count(valueOf(u"/f"))) return "failed";  // no INF file: nothing changes
        const std::u16string model = valueOf(u"/m");
        if (std::find(drivers.begin(), drivers.end(), model) == drivers.end()) drivers.push_back(model);
        if (has(u"/if")) {
            // A printer name is added once: ERROR_PRINTER_ALREADY_EXISTS,
            // and nothing of that printer changes.
            const std::u16string name = valueOf(u"/b");
            if (std::find(printers.begin(), printers.end(), name) != printers.end()) return "failed";
            printers.push_back(name);
            printerDrivers[name] = model;
            printerPorts[name] = valueOf(u"/r");
        }
        return "done";
    }
    if (has(u"/Xs")) {  // set printer settings: here its port
        const std::u16string name = valueOf(u"/n");
        if (std::find(printers.begin(), printers.end(), name) == printers.end() || valueOf(u"PortName").empty())
            return "failed";
        printerPorts[name] = valueOf(u"PortName");
        return "done";
    }
    return "failed";
}

std::optional<std::uint32_t> RecordingPlatform::ExitCodeOf(const platform::StartedProcess& process) {
    return running_.at(static_cast<const Process*>(process.get())->index).exitCode;
}

std::vector<std::u16string> RecordingPlatform::Started() const {
    std::vector<std::u16string> lines;
    for (const auto& e : events)
        if (e.kind == Event::Kind::Start) lines.push_back(e.commandLine);
    return lines;
}

std::vector<RecordingPlatform::Event> RecordingPlatform::EventsOf(Event::Kind kind) const {
    std::vector<Event> found;
    for (const auto& e : events)
        if (e.kind == kind) found.push_back(e);
    return found;
}

}  // namespace testing_support
