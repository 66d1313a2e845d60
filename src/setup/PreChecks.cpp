#include "setup/PreChecks.h"

#include "modules/modRegedit.h"
#include "setup/PackageTrust.h"
#include "setup/Text.h"

#include <map>
#include <optional>

namespace setup {

namespace {

constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::size_t kInfLimitBytes = std::size_t{4} * 1024 * 1024;

std::optional<std::uint32_t> DwordValue(platform::AnsiRegistry& registry, platform::RegHandle root,
                                        const std::string& subKey, const std::string& name) {
    std::optional<std::uint32_t> result;
    platform::RegHandle key = 0;
    if (registry.RegOpenKeyExA(root, subKey, 0, kKeyRead, key) != platform::kErrorSuccess) return result;
    std::uint32_t type = 0, value = 0, size = sizeof value;
    if (registry.RegQueryValueExA(key, name, type, reinterpret_cast<std::uint8_t*>(&value), size) ==
            platform::kErrorSuccess &&
        type == platform::kRegDword && size == sizeof value)
        result = value;
    registry.RegCloseKey(key);
    return result;
}

bool KeyExists(platform::AnsiRegistry& registry, const std::string& subKey) {
    platform::RegHandle key = 0;
    if (registry.RegOpenKeyExA(platform::kHkeyLocalMachine, subKey, 0, kKeyRead, key) != platform::kErrorSuccess)
        return false;
    registry.RegCloseKey(key);
    return true;
}

// `text`, then `detail` in parentheses.
std::u16string WithinParentheses(std::u16string text, std::u16string_view detail) {
    text += u" (";
    text += detail;
    text += u")";
    return text;
}

Finding Refused(std::u16string check, std::u16string detail, std::u16string fix, int exitCode) {
    return {std::move(check), Finding::Result::Refused, std::move(detail), std::move(fix), exitCode};
}

}  // namespace

Finding SpoolerFinding(bool start, const platform::Seams& seams) {
    static constexpr std::u16string_view kCheck = u"print spooler";
    const platform::ServiceState spooler = seams.services.QueryService(u"Spooler");
    if (!spooler.asked)
        return {std::u16string(kCheck), Finding::Result::Warning,
                u"the service manager could not be asked about the Print Spooler (" + spooler.reason + u")", u"", 0};
    if (!spooler.exists)
        return Refused(std::u16string(kCheck), u"the Print Spooler service is not installed on this machine",
                       u"install or repair Windows' printing components (Print Spooler).", kExitSpoolerNotRunning);
    if (spooler.disabled)
        return Refused(std::u16string(kCheck), u"the Print Spooler service is disabled",
                       u"set it to start automatically and start it (sc config spooler start= auto & sc start "
                       u"spooler), or undo the policy or hardening baseline that disabled it.",
                       kExitSpoolerDisabled);
    if (spooler.running) return {std::u16string(kCheck), Finding::Result::Passed, u"the Print Spooler runs", u"", 0};
    if (!start)
        return {std::u16string(kCheck), Finding::Result::Warning, u"the Print Spooler is stopped; install starts it",
                u"", 0};
    std::u16string reason;
    if (!seams.services.StartAndWait(u"Spooler", kSpoolerStartMilliseconds, reason))
        return Refused(std::u16string(kCheck), u"the Print Spooler was stopped and could not be started (" + reason + u")",
                       u"start it (sc start spooler) and see the System event log for why it stops.",
                       kExitSpoolerNotRunning);
    return {std::u16string(kCheck), Finding::Result::Passed, u"the Print Spooler was stopped; it was started", u"", 0};
}

namespace {

// Windows protected print mode (Windows 11 24H2 and later) loads no
// third-party printer driver at all.
Finding PolicyFinding(const platform::Seams& seams) {
    static constexpr std::u16string_view kCheck = u"driver policy";
    const auto state = DwordValue(seams.registry, platform::kHkeyLocalMachine,
                                  "SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP",
                                  "WindowsProtectedPrintGroupPolicyState");
    if (state && *state == 1)
        return Refused(std::u16string(kCheck),
                       u"Windows protected print mode is on (policy \"Configure Windows protected print\", "
                       u"HKLM\\SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers\\WPP "
                       u"WindowsProtectedPrintGroupPolicyState = 1): it allows no third-party printer driver",
                       u"turn the policy off for this device (Computer Configuration > Administrative Templates > "
                       u"Printers > Configure Windows protected print, or its Intune setting); turning it on "
                       u"later removes this printer again.",
                       kExitForbiddenByPolicy);
    return {std::u16string(kCheck), Finding::Result::Passed, u"no policy forbids third-party printer drivers", u"", 0};
}

// Device installation restrictions (Microsoft's hardening guidance) apply to
// what Plug and Play installs: the USB printer's driver. A policy that
// denies the printer classes, or every device no policy allows, blocks it,
// unless administrators are let through.
Finding DeviceInstallFinding(const platform::Seams& seams) {
    static constexpr std::u16string_view kCheck = u"device installation policy";
    const std::string key = "SOFTWARE\\Policies\\Microsoft\\Windows\\DeviceInstall\\Restrictions";
    const auto on = [&](const char* name) {
        const auto value = DwordValue(seams.registry, platform::kHkeyLocalMachine, key, name);
        return value && *value == 1;
    };
    // The printer classes: Printer, and PrinterUpgrade.
    static constexpr std::string_view kPrinterClasses[] = {"{4d36e979-e325-11ce-bfc1-08002be10318}",
                                                           "{4658ee7e-f050-11d1-b6bd-00c04fa372a7}"};
    std::u16string denied;
    if (on("DenyDeviceClasses")) {
        for (int n = 1; n <= 256 && denied.empty(); ++n) {
            std::u16string value;
            if (modRegedit::RegGetString(seams.registry, platform::kHkeyLocalMachine,
                                         u"SOFTWARE\\Policies\\Microsoft\\Windows\\DeviceInstall\\Restrictions\\DenyDeviceClasses",
                                         Number(static_cast<std::uint64_t>(n)), value) != platform::kErrorSuccess)
                break;
            std::string lower;
            for (char16_t c : value) lower += static_cast<char>(c >= u'A' && c <= u'Z' ? c + 32 : c);
            for (const auto printerClass : kPrinterClasses)
                if (lower == printerClass) denied = u"DenyDeviceClasses names the printer class " + value;
        }
    }
    if (denied.empty() && on("DenyUnspecified")) denied = u"DenyUnspecified denies every device no policy allows";
    if (denied.empty())
        return {std::u16string(kCheck), Finding::Result::Passed, u"no device installation policy denies the USB printer's driver", u"", 0};
    const std::u16string where = u" (HKLM\\" + std::u16string(key.begin(), key.end()) + u")";
    if (on("AllowAdminInstall"))
        return {std::u16string(kCheck), Finding::Result::Passed,
                denied + where + u", and AllowAdminInstall lets administrators through: an elevated install goes on", u"", 0};
    return Refused(std::u16string(kCheck), u"a device installation policy would deny the USB printer's driver: " + denied + where,
                   u"allow the printer classes for this device, or set \"Allow administrators to override Device "
                   u"Installation Restriction policies\" (AllowAdminInstall = 1), by Group Policy or Intune.",
                   kExitDeviceInstallDenied);
}

Finding PackageFinding(const std::u16string& directory, const platform::Seams& seams, const Product& product,
                       std::u16string& catalogPath, std::vector<std::u16string>& members) {
    static constexpr std::u16string_view kCheck = u"driver package";
    const std::u16string inf = directory + std::u16string(product.infFile);
    std::u16string reason;
    const auto bytes = platform::ReadFileIn(seams.files, directory, product.InfName(), kInfLimitBytes, reason);
    if (!bytes)
        return Refused(std::u16string(kCheck), u"the INF file " + inf + u" cannot be read (" + reason + u")",
                       u"give the folder of the vendor's driver package with --package.", kExitPackageInvalid);
    const std::u16string processor = seams.machine.NativeProcessor();
    const InfFacts facts = ReadInf(*bytes, processor, product.model);
    if (facts.catalog.empty())
        return Refused(std::u16string(kCheck), inf + u" names no catalog file (CatalogFile): Windows installs no "
                                                     u"unsigned printer driver",
                       u"use the vendor's signed driver package.", kExitPackageInvalid);
    if (!PlainFileName(facts.catalog))
        return Refused(std::u16string(kCheck), inf + u" names a catalog outside the package (CatalogFile=" +
                                                   facts.catalog + u")",
                       u"use the vendor's driver package as it ships: its catalog is a file of its own folder.",
                       kExitPackageInvalid);
    if (!seams.files.FileExists(directory + u"\\" + facts.catalog))
        return Refused(std::u16string(kCheck), u"the catalog " + facts.catalog + u" that " + inf + u" names is missing",
                       u"copy the whole driver package, with its .cat file, as the vendor ships it.",
                       kExitPackageInvalid);
    catalogPath = directory + u"\\" + facts.catalog;
    members = {inf};
    for (const auto& file : facts.files) {
        if (!InsidePackage(file))
            return Refused(std::u16string(kCheck), WithinParentheses(inf + u" names a file outside the package", file),
                           u"use the vendor's driver package as it ships.", kExitPackageInvalid);
        members.push_back(directory + u"\\");
        members.back() += file;
    }
    const std::u16string decoration = u"NT" + processor;
    if (!facts.hasProcessorSection)
        return Refused(std::u16string(kCheck),
                       inf + u" has no models section for this machine's processor (" + decoration + u"); it has " +
                           (facts.decorations.empty() ? u"none" : CommaList(facts.decorations)),
                       u"use the vendor's driver package for " + decoration + u".", kExitWrongProcessor);
    if (!facts.listsModel)
        return Refused(std::u16string(kCheck), inf + u" does not list " + Quoted(product.model) + u" for " + decoration,
                       u"use the vendor's driver package for this printer.", kExitPackageInvalid);
    return {std::u16string(kCheck), Finding::Result::Passed,
            inf + u": " + Quoted(product.model) + u" for " + decoration + u", catalog " + facts.catalog +
                (facts.driverVer.empty() ? u"" : u", DriverVer " + facts.driverVer),
            u"", 0};
}

// An unsigned catalog, or a signer the machine does not trust, makes the
// print system ask a question in a session nobody sees. A package others
// could change is taken only on its publisher's word: a catalog that is
// signed by a trusted publisher and lists the INF and every file it names.
Finding SignatureFinding(const std::u16string& catalogPath, const std::vector<std::u16string>& members, bool strict,
                         const platform::Seams& seams) {
    static constexpr std::u16string_view kCheck = u"driver signature";
    using State = platform::System::CatalogTrust::State;
    const auto trust = seams.machine.CatalogSignature(catalogPath, members);
    if (trust.state == State::Trusted)
        return {std::u16string(kCheck), Finding::Result::Passed,
                catalogPath + u" is signed by " + trust.detail + u" and lists the package's " +
                    Number(members.size()) + u" file(s)",
                u"", 0};
    std::u16string detail;
    std::u16string fix;
    switch (trust.state) {
    case State::Unverified:
        detail = u"the signature of " + catalogPath + u" cannot be verified: " + trust.detail;
        fix = u"use the driver package as the vendor signed it, with its own .cat file";
        break;
    case State::SignerNotTrusted:
        detail = u"the signer of " + catalogPath + u" is not trusted on this machine: " + trust.detail;
        fix = u"add the vendor's certificate to the machine's Trusted Publishers store (certutil -addstore "
              u"TrustedPublisher vendor.cer, or for a fleet by Group Policy or Intune)";
        break;
    default:
        detail = catalogPath + u" does not list " + trust.detail + u": the catalog is not this package's";
        fix = u"use the driver package as the vendor ships it, its files and its catalog together";
        break;
    }
    if (strict)
        return Refused(std::u16string(kCheck), u"others can change the driver package, and " + detail,
                       u"put the package in a folder only administrators can change, such as Program Files or the "
                       u"MSI's folder, or " + fix + u".",
                       kExitPackageUnsigned);
    return {std::u16string(kCheck), Finding::Result::Warning, detail,
            fix + u"; otherwise Windows asks whether to install the driver where nobody sees it, and the install "
                  u"ends only at its --timeout.",
            0};
}

// The package's folder: no link or file of several names anywhere (448, or
// 1619 when it cannot be read); one others can change is copied (install)
// and judged strictly either way. Nothing where the folder is missing: the
// package check says so.
std::optional<Finding> PackageFolderFinding(const PreCheckRequest& request, const platform::Seams& seams,
                                            InstallPlan& plan, bool& strict) {
    static constexpr std::u16string_view kCheck = u"package folder";
    using Kind = PackageFolderChoice::Kind;
    const PackageFolderChoice choice = ChoosePackageFolder(seams.files, request.packageDirectory,
                                                           seams.machine.RunningUserSid(), request.copier);
    const std::u16string others = u"the driver package can be changed by others (" + choice.why + u")";
    switch (choice.kind) {
    case Kind::Missing: return std::nullopt;
    case Kind::AsItIs:
        return Finding{std::u16string(kCheck), Finding::Result::Passed,
                       request.packageDirectory + u" can be changed by administrators only", u"", 0};
    case Kind::Changeable:
        strict = true;
        return Finding{std::u16string(kCheck), Finding::Result::Warning,
                       others + u"; install copies it to a protected folder first and installs it only when its "
                                u"catalog is signed by a trusted publisher and lists every file",
                       u"keep the package where only administrators can change it (Program Files).", 0};
    case Kind::Copied:
        strict = true;
        plan.packageDirectory = choice.directory;
        plan.packageCopied = true;
        return Finding{std::u16string(kCheck), Finding::Result::Passed,
                       others + u": installing from a copy in " + choice.directory, u"", 0};
    case Kind::Refused: break;
    }
    if (!choice.copyFailure.empty())
        return Refused(std::u16string(kCheck), others + u" and could not be copied: " + choice.copyFailure,
                       u"copy it to a folder only administrators can change and give that folder with --package.",
                       choice.exitCode);
    return Refused(std::u16string(kCheck), u"the driver package is not used: " + choice.why,
                   u"copy the vendor's package as plain files to a folder only administrators can change (Program "
                   u"Files) and give that folder with --package.",
                   choice.exitCode);
}

}  // namespace

InstallPlan CheckBeforeInstall(const PreCheckRequest& request, const platform::Seams& seams, const Product& product) {
    InstallPlan plan;
    plan.packageDirectory = request.packageDirectory;
    std::vector<Finding>& findings = plan.findings;
    auto stopped = [&] { return !findings.empty() && !request.all && findings.back().result == Finding::Result::Refused; };
    bool strict = false;
    if (auto folder = PackageFolderFinding(request, seams, plan, strict)) findings.push_back(std::move(*folder));
    if (stopped()) return plan;
    findings.push_back(SpoolerFinding(request.startSpooler, seams));
    if (stopped()) return plan;
    findings.push_back(PolicyFinding(seams));
    if (stopped()) return plan;
    if (request.usb) findings.push_back(DeviceInstallFinding(seams));
    if (stopped()) return plan;
    std::u16string catalogPath;
    std::vector<std::u16string> members;
    findings.push_back(PackageFinding(plan.packageDirectory, seams, product, catalogPath, members));
    if (stopped()) return plan;
    if (!catalogPath.empty()) findings.push_back(SignatureFinding(catalogPath, members, strict, seams));
    if (stopped()) return plan;
    if (KeyExists(seams.registry, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing\\RebootPending") ||
        KeyExists(seams.registry, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\Auto Update\\RebootRequired"))
        findings.push_back({u"restart", Finding::Result::Warning, u"a restart of Windows is pending",
                            u"restart the machine when the till is free: a driver in use is only replaced then.", 0});
    if (!request.port.empty())
        if (const auto busy = seams.machine.ComPortBusy(request.port))
            findings.push_back({u"COM port", Finding::Result::Warning, request.port + u" cannot be opened: " + *busy,
                                u"close the program that holds " + request.port +
                                    u" (a till application, a scale or scanner service): the printer cannot print "
                                    u"until it lets go.",
                                0});
    return plan;
}

const Finding* FirstRefusal(const std::vector<Finding>& findings) {
    for (const Finding& finding : findings)
        if (finding.result == Finding::Result::Refused) return &finding;
    return nullptr;
}

}  // namespace setup
