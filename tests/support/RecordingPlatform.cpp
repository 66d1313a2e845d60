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

NameList RecordingPlatform::ListPrinters() {
    events.push_back({Event::Kind::ListPrinters, {}, {}, 0, 0, now});
    AdvanceTo(now);
    if (printerListingFails) return {false, {}, *printerListingFails};
    return {true, printers, {}};
}

NameList RecordingPlatform::ListPrinterDrivers() {
    events.push_back({Event::Kind::ListPrinterDrivers, {}, {}, 0, 0, now});
    AdvanceTo(now);
    if (driverListingFails) return {false, {}, *driverListingFails};
    return {true, drivers, {}};
}

void RecordingPlatform::Sleep(std::uint32_t milliseconds) {
    events.push_back({Event::Kind::Sleep, {}, {}, milliseconds, 0, now});
    AdvanceTo(now + milliseconds);
}

platform::PrinterInfoList RecordingPlatform::ListPrinterDetails() {
    events.push_back({Event::Kind::ListPrinters, {}, {}, 0, 0, now});
    AdvanceTo(now);
    if (printerListingFails) return {false, {}, *printerListingFails};
    platform::PrinterInfoList list{true, {}, {}};
    for (const auto& name : printers) list.printers.push_back({name, printerPorts[name], printerDrivers[name]});
    return list;
}

std::u16string RecordingPlatform::FullPath(std::u16string_view path) {
    const bool absolute = (path.size() > 1 && path[1] == u':') || (!path.empty() && path[0] == u'\\');
    return absolute ? std::u16string(path) : u"C:\\Work\\" + std::u16string(path);
}

std::optional<std::uint64_t> RecordingPlatform::FileSize(std::u16string_view path) {
    auto it = files.find(std::u16string(path));
    if (it == files.end()) return std::nullopt;
    return it->second.size();
}

bool RecordingPlatform::AppendToFile(std::u16string_view path, std::string_view bytes, std::u16string& reason) {
    if (!filesWritable) {
        reason = u"Access is denied.";
        return false;
    }
    files[std::u16string(path)].append(bytes);
    return true;
}

bool RecordingPlatform::RenameReplacing(std::u16string_view from, std::u16string_view to) {
    auto it = files.find(std::u16string(from));
    if (!filesWritable || it == files.end()) return false;
    files[std::u16string(to)] = std::move(it->second);
    files.erase(std::u16string(from));
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
    }
    now = std::max(now, time);
}

// The effect of one printer setup command on the print system, as it ends.
std::string RecordingPlatform::CarryOut(const std::u16string& commandLine) {
    const std::vector<std::u16string> args = SplitCommandLine(commandLine);
    auto has = [&](std::u16string_view option) { return std::find(args.begin(), args.end(), option) != args.end(); };
    auto valueOf = [&](std::u16string_view option) {
        auto it = std::find(args.begin(), args.end(), option);
        return it != args.end() && it + 1 != args.end() ? *(it + 1) : std::u16string();
    };
    if (has(u"/dl")) {
        const std::u16string name = valueOf(u"/n");
        auto it = std::find(printers.begin(), printers.end(), name);
        if (it == printers.end()) return "failed";
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
            const std::u16string name = valueOf(u"/b");
            if (std::find(printers.begin(), printers.end(), name) == printers.end()) printers.push_back(name);
            printerDrivers[name] = model;
            printerPorts[name] = valueOf(u"/r");
        }
        return "done";
    }
    return "failed";
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
