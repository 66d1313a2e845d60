// The printer's COM port found by its device: a part of a hardware ID or an
// instance ID picks the one present device (none and several refused before
// any change), status lists the devices, and a remembered device is followed
// when Windows renumbers its port.
#include "setup/ExitCodes.h"
#include "setup/PortDevices.h"
#include "setup/Product.h"
#include "support/CliMachine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::PortDevice;
using namespace setup;

namespace {

// NOLINTBEGIN(cert-err58-cpp)
// The machine's own serial port; two FTDI adapters of one model, told apart
// by the serial numbers in their instance IDs; a Prolific adapter, whose
// instance ID has none; and a parallel port.
const PortDevice kBuiltIn{u"COM1", u"Communications Port (COM1)", {u"ACPI\\PNP0501", u"*PNP0501"}, u"ACPI\\PNP0501\\0",
                          u"ACPI"};
const PortDevice kFtdiA{u"COM7", u"USB Serial Port (COM7)", {u"FTDIBUS\\COMPORT&VID_0403&PID_6001"},
                        u"FTDIBUS\\VID_0403+PID_6001+A5XK3RJTA\\0000", u"FTDIBUS"};
const PortDevice kFtdiB{u"COM8", u"USB Serial Port (COM8)", {u"FTDIBUS\\COMPORT&VID_0403&PID_6001"},
                        u"FTDIBUS\\VID_0403+PID_6001+B7YY1QZ2A\\0000", u"FTDIBUS"};
const PortDevice kProlific{u"COM9", u"Prolific USB-to-Serial Comm Port (COM9)",
                           {u"USB\\VID_067B&PID_2303&REV_0300", u"USB\\VID_067B&PID_2303"},
                           u"USB\\VID_067B&PID_2303\\5&1A2B3C&0&2", u"USB"};
const PortDevice kParallel{u"LPT1", u"Printer Port (LPT1)", {u"ACPI\\PNP0400"}, u"ACPI\\PNP0400\\0", u"ACPI"};
// NOLINTEND(cert-err58-cpp)

TEST(PortDevices, APatternTakesTheOnePresentDeviceItMatches) {
    const platform::PortDeviceList present{true, {kBuiltIn, kFtdiA, kFtdiB, kProlific, kParallel}, {}};
    struct Row {
        const char16_t* pattern;
        const char16_t* port;  // nullptr: refused
        int exitCode;
    } rows[] = {
        {u"VID_067B&PID_2303", u"COM9", 0},            // a hardware ID's part
        {u"vid_067b&pid_2303", u"COM9", 0},            // letters in either case
        {u"A5XK3RJTA", u"COM7", 0},                    // an adapter's serial number, in its instance ID
        {u"FTDIBUS\\VID_0403+PID_6001+B7YY1QZ2A\\0000", u"COM8", 0},  // a whole instance ID
        {u"VID_0403&PID_6001", nullptr, kExitDeviceAmbiguous},        // two adapters of one model
        {u"PID_9999", nullptr, kExitDeviceNotFound},
        {u"PNP0400", nullptr, kExitDeviceNotFound},    // a parallel port is no COM port
    };
    for (const Row& row : rows) {
        const DevicePort found = PortOfDevice(present, row.pattern);
        SCOPED_TRACE(std::u16string(row.pattern).size());
        if (row.port) {
            ASSERT_TRUE(found.port);
            EXPECT_EQ(row.port, found.port->Name());
            EXPECT_EQ(row.port, found.device->portName);
        } else {
            EXPECT_FALSE(found.port);
            EXPECT_EQ(row.exitCode, found.exitCode);
            EXPECT_EQ(row.exitCode, found.Refusal().exitCode);
            // The reason lists what is there to choose from.
            EXPECT_NE(std::u16string::npos, found.detail.find(u"COM7: USB Serial Port (COM7), on USB"));
        }
    }
    const DevicePort several = PortOfDevice(present, u"VID_0403&PID_6001");
    EXPECT_NE(std::u16string::npos, several.detail.find(u": COM7, COM8 ("));
    const DevicePort unreadable = PortOfDevice({false, {}, u"Access is denied."}, u"VID_0403");
    EXPECT_EQ(kExitFailed, unreadable.exitCode);
    EXPECT_FALSE(unreadable.port);

    EXPECT_TRUE(OnUsb(kFtdiA));
    EXPECT_TRUE(OnUsb(kProlific));
    EXPECT_FALSE(OnUsb(kBuiltIn));
    PortDevice vendorOnly = kBuiltIn;  // a bus driver of its own, a USB vendor's ID
    vendorOnly.enumerator = u"SILABSER";
    vendorOnly.hardwareIds = {u"SILABSER\\VID_10C4&PID_EA60"};
    EXPECT_TRUE(OnUsb(vendorOnly));

    for (std::u16string_view good : {u"USB\\VID_067B&PID_2303\\5&1A2B3C&0&2", u"{4d36e978-e325-11ce-bfc1-08002be10318}"})
        EXPECT_TRUE(IsDevicePattern(good));
    for (std::u16string_view bad : {u"", u"VID 0403", u"VID\"0403"})
        EXPECT_FALSE(IsDevicePattern(bad));
    EXPECT_TRUE(IsDevicePattern(std::u16string(200, u'A')));
    EXPECT_FALSE(IsDevicePattern(std::u16string(201, u'A')));
}

struct Machine : testing_support::CliMachine {
    Machine() {
        platform.serialComm = {u"COM1", u"COM7", u"COM9"};
        platform.portDevices = {kBuiltIn, kFtdiA, kProlific};
    }
    std::u16string PortOfOurs() { return platform.printerPorts[std::u16string(PrinterName)]; }
    std::string Stored(const char* name) const {
        const auto value = registry.Get("SOFTWARE\\PortSetup", name);
        return value ? std::string(reinterpret_cast<const char*>(value->data.data())) : "<none>";
    }
    // Windows renumbers the adapter: COM7 becomes COM8.
    void Renumber() {
        PortDevice moved = kFtdiA;
        moved.portName = u"COM8";
        moved.name = u"USB Serial Port (COM8)";
        platform.portDevices = {kBuiltIn, moved, kProlific};
        platform.serialComm = {u"COM1", u"COM8", u"COM9"};
    }
};

TEST(PortDevices, InstallByDeviceUsesItsPortAndRemembersTheDevice) {
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"auto", u"--device", u"A5XK3RJTA", u"--settings",
                                u"19200,n,8,1", u"--remember"}));
    EXPECT_EQ(u"COM7:", m.PortOfOurs());
    EXPECT_EQ("19200,n,8,1", m.Port("COM7:"));
    EXPECT_TRUE(m.console.OutHas(u"found: --device \"A5XK3RJTA\" is COM7: USB Serial Port (COM7), on USB"));
    // The device is stored, not the number; a number stored before goes.
    EXPECT_EQ("A5XK3RJTA", m.Stored("Device"));
    EXPECT_EQ("<none>", m.Stored("Port"));
    EXPECT_EQ("19200,n,8,1", m.Stored("Settings"));
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"COM9", u"--remember"}));
    EXPECT_EQ("COM9", m.Stored("Port"));
    EXPECT_EQ("<none>", m.Stored("Device"));
}

TEST(PortDevices, NoneAndSeveralAreRefusedBeforeAnyChange) {
    struct Row {
        const char16_t* pattern;
        int exitCode;
    } rows[] = {{u"PID_9999", kExitDeviceNotFound}, {u"VID_0", kExitDeviceAmbiguous}};
    for (const Row& row : rows) {
        for (const char16_t* verb : {u"install", u"status", u"doctor"}) {
            Machine m;
            SCOPED_TRACE(std::u16string(verb).size());
            EXPECT_EQ(row.exitCode, m.Run({verb, u"--port", u"auto", u"--device", row.pattern}));
            EXPECT_TRUE(m.platform.Started().empty());
            EXPECT_TRUE(m.platform.printers.empty());
        }
    }
    Machine m;
    m.Run({u"doctor", u"--port", u"auto", u"--device", u"PID_9999"});
    EXPECT_TRUE(m.console.OutHas(u"refused: device: no present COM port device matches --device \"PID_9999\""));
    m.Run({u"install", u"--port", u"auto", u"--device", u"PID_9999"});
    EXPECT_TRUE(m.console.Has(m.console.err, u"present: COM1: Communications Port (COM1), hardware IDs ACPI\\PNP0501"));
    EXPECT_NE(std::u16string::npos, m.OnlyEvent().text.find(u"Exit code: 1167"));
    // The command line itself: auto needs a device, a device needs auto.
    EXPECT_EQ(kExitUsage, m.Run({u"install", u"--port", u"auto"}));
    EXPECT_EQ(kExitUsage, m.Run({u"install", u"--port", u"COM7", u"--device", u"A5XK3RJTA"}));
    EXPECT_EQ(kExitUsage, m.Run({u"install", u"--port", u"auto", u"--device", u"A5XK 3RJTA"}));
    EXPECT_TRUE(m.platform.Started().empty());
}

TEST(PortDevices, StatusListsThePortsWithTheirDevices) {
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"auto", u"--device", u"VID_067B"}));
    ASSERT_EQ(kExitDone, m.Run({u"status", u"--port", u"auto", u"--device", u"VID_067B", u"--json"}));
    ASSERT_EQ(1u, m.console.out.size());
    const std::u16string& json = m.console.out[0];
    EXPECT_NE(std::u16string::npos, json.find(u"\"askedPort\":\"COM9\",\"askedDevice\":\"VID_067B\""));
    EXPECT_NE(std::u16string::npos,
              json.find(u"{\"port\":\"COM7\",\"name\":\"USB Serial Port (COM7)\",\"hardwareIds\":[\"FTDIBUS\\\\COMPORT&"
                        u"VID_0403&PID_6001\"],\"instanceId\":\"FTDIBUS\\\\VID_0403+PID_6001+A5XK3RJTA\\\\0000\","
                        u"\"usb\":true}"));
    EXPECT_NE(std::u16string::npos, json.find(u"\"portDevices\":[{\"port\":\"COM1\""));  // in the ports' order
    EXPECT_NE(std::u16string::npos, json.find(u"\"portDevicesReason\":null"));
    m.Run({u"status"});
    EXPECT_TRUE(m.console.OutHas(u"  COM9: Prolific USB-to-Serial Comm Port (COM9), on USB, hardware IDs "
                                 u"USB\\VID_067B&PID_2303&REV_0300, USB\\VID_067B&PID_2303, instance "
                                 u"USB\\VID_067B&PID_2303\\5&1A2B3C&0&2"));
    // Where the devices cannot be read, the numbers stay, with the reason.
    m.platform.portDevicesFail = u"Access is denied.";
    m.Run({u"status"});
    EXPECT_TRUE(m.console.OutHas(u"COM ports on this machine: COM1, COM7, COM9"));
    EXPECT_TRUE(m.console.OutHas(u"Devices of the COM ports: unknown (Access is denied.)"));
    m.Run({u"status", u"--json"});
    EXPECT_NE(std::u16string::npos, m.console.out[0].find(u"\"portDevices\":null,\"portDevicesReason\":\"Access is denied.\""));
}

TEST(PortDevices, ARenumberedDeviceIsNotAsAskedAndRepairMovesThePrinterWithItsSettings) {
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--port", u"auto", u"--device", u"A5XK3RJTA", u"--settings",
                                u"19200,e,7,1,x", u"--remember"}));
    ASSERT_EQ(kExitDone, m.Run({u"status", u"--stored"}));
    m.Renumber();
    EXPECT_EQ(kExitNotInstalled, m.Run({u"status", u"--stored"}));
    EXPECT_TRUE(m.console.OutHas(u"the printer is on COM7:, its device is on COM8: (USB Serial Port (COM8))"));
    ASSERT_EQ(kExitDone, m.Run({u"repair"}));
    EXPECT_EQ(u"COM8:", m.PortOfOurs());
    EXPECT_EQ("19200,e,7,1,x", m.Port("COM8:"));
    EXPECT_EQ("A5XK3RJTA", m.Stored("Device"));  // still the device, not the new number
    EXPECT_EQ("<none>", m.Stored("Port"));
    EXPECT_EQ(kExitDone, m.Run({u"status", u"--stored"}));
    // Unplugged: not as asked, and repair says why with the device's code.
    m.platform.portDevices = {kBuiltIn};
    EXPECT_EQ(kExitNotInstalled, m.Run({u"status", u"--stored"}));
    EXPECT_TRUE(m.console.OutHas(u"no present COM port device matches --device \"A5XK3RJTA\""));
    EXPECT_EQ(kExitDeviceNotFound, m.Run({u"repair"}));
    EXPECT_EQ(u"COM8:", m.PortOfOurs());
}

TEST(PortDevices, TheMsisStoredDeviceStandsInForThePort) {
    Machine m;
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--stored-port", u"", u"--stored-settings", u"9600,n,8,1",
                                u"--stored-device", u"VID_067B", u"--remember"}));
    EXPECT_EQ(u"COM9:", m.PortOfOurs());
    EXPECT_EQ("VID_067B", m.Stored("Device"));
    // One that is no pattern is not used: the default port, with a warning.
    ASSERT_EQ(kExitDone, m.Run({u"install", u"--stored-port", u"", u"--stored-device", u"bad\"one"}));
    EXPECT_TRUE(m.console.OutHas(u"warning: the stored device \"bad\"one\" is not a part of a device ID"));
    EXPECT_EQ(u"COM1:", m.PortOfOurs());
}

}  // namespace

namespace {

// A USB printer moved to another jack: Plug and Play made a second queue of
// our driver on a new port, and the first stays on a port with no device.
struct MovedUsbPrinter : testing_support::CliMachine {
    MovedUsbPrinter() {
        for (const auto& [queue, port] : {std::pair{u"KALDO QTX_VELTRO", u"USB001"},
                                          std::pair{u"KALDO QTX_VELTRO (Copy 1)", u"USB002"}}) {
            platform.printers.emplace_back(queue);
            platform.printerDrivers[queue] = std::u16string(DriverModel);
            platform.printerPorts[queue] = port;
        }
        platform.drivers = {std::u16string(DriverModel)};
    }
};

TEST(LiveUsbQueue, TheQueueWhosePrinterIsPluggedInIsOursAndTheOtherIsNamedStale) {
    struct Row {
        const char* what;
        std::vector<std::u16string> plugged;  // the USB printer ports with their printer
        const char16_t* ours;
        const char16_t* stale;  // in status's JSON
    } rows[] = {
        {"the copy's printer is plugged in", {u"USB002"}, u"KALDO QTX_VELTRO (Copy 1)",
         u"\"staleQueues\":[\"KALDO QTX_VELTRO on USB001\"]"},
        {"the first one's", {u"USB001"}, u"KALDO QTX_VELTRO", u"\"staleQueues\":[\"KALDO QTX_VELTRO (Copy 1) on USB002\"]"},
        // Both or neither: the first by name, as before; both are stale when neither is plugged in.
        {"both", {u"USB001", u"USB002"}, u"KALDO QTX_VELTRO", u"\"staleQueues\":[]"},
        {"neither", {}, u"KALDO QTX_VELTRO",
         u"\"staleQueues\":[\"KALDO QTX_VELTRO on USB001\",\"KALDO QTX_VELTRO (Copy 1) on USB002\"]"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MovedUsbPrinter m;
        m.platform.presentUsbPrintPorts = row.plugged;
        ASSERT_EQ(kExitDone, m.Run({u"set-default"}));
        EXPECT_EQ(row.ours, m.platform.defaultPrinter);
        m.Run({u"status", u"--json"});
        ASSERT_EQ(1u, m.console.out.size());
        EXPECT_NE(std::u16string::npos, m.console.out[0].find(u"\"ourPrinter\":\"" + std::u16string(row.ours) + u"\""));
        EXPECT_NE(std::u16string::npos, m.console.out[0].find(row.stale));
        ASSERT_EQ(kExitDone, m.Run({u"test-print"}));
        ASSERT_FALSE(m.platform.jobs.empty());
        EXPECT_EQ(row.ours, m.platform.jobs.rbegin()->second.printer);
        // Nothing is deleted for a stale queue.
        EXPECT_EQ(2u, m.platform.printers.size());
    }
    MovedUsbPrinter m;
    m.platform.presentUsbPrintPorts = {u"USB002"};
    m.Run({u"status"});
    EXPECT_TRUE(m.console.OutHas(u"Our printer: KALDO QTX_VELTRO (Copy 1) (\"KALDO QTX_VELTRO (Copy 1)\" is taken: its "
                                 u"USB printer is plugged in (USB002); not \"KALDO QTX_VELTRO\" on USB001, whose printer "
                                 u"is not)"));
    EXPECT_TRUE(m.console.OutHas(u"Stale queues of the driver (their USB printer is not plugged in; nothing is deleted "
                                 u"for them): KALDO QTX_VELTRO on USB001"));
}

}  // namespace
