// What every Win32 file of the programs shares: the Windows functions looked
// up at run time, one list per DLL with the signature its header declares,
// each DLL loaded from the system folder only; and the system's texts.
#pragma once

#include "platform/Win32Handles.h"

#include <windows.h>
#include <winternl.h>
#include <shlobj.h>
#include <winspool.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <mscat.h>
#include <setupapi.h>

#include <string>
#include <vector>

namespace platform {

// One member per function, typed from its declaration, null where the DLL
// lacks it (an older Windows).
#define PORTSETUP_API_MEMBER(name) decltype(&::name) name = nullptr;
#define PORTSETUP_API_LOOKUP(name) name = reinterpret_cast<decltype(&::name)>(reinterpret_cast<void*>(::GetProcAddress(module, #name)));
#define PORTSETUP_API(Type, FUNCTIONS)                                     \
    struct Type {                                                          \
        FUNCTIONS(PORTSETUP_API_MEMBER)                                    \
        DWORD error = 0; /* why the DLL could not be loaded, when not */   \
        void LookUp(HMODULE module) { FUNCTIONS(PORTSETUP_API_LOOKUP) }    \
    };

// The print system's client, loaded when first needed: it costs a tenth of
// a second, which the window's start does not pay.
#define PORTSETUP_WINSPOOL(X) X(EnumPrintersW) X(EnumPrinterDriversW) X(GetDefaultPrinterW) \
    X(OpenPrinterW) X(SetPrinterW) X(GetPrinterW) X(ClosePrinter) X(StartDocPrinterW) X(StartPagePrinter) \
    X(WritePrinter) X(EndPagePrinter) X(EndDocPrinter) X(AbortPrinter) X(GetJobW) X(EnumJobsW) X(SetJobW)
PORTSETUP_API(WinspoolApi, PORTSETUP_WINSPOOL)
const WinspoolApi& Winspool();

// Functions newer than the oldest Windows the programs run on.
#define PORTSETUP_KERNEL32(X) X(SetDefaultDllDirectories) X(CreateBoundaryDescriptorW) \
    X(AddSIDToBoundaryDescriptor) X(CreatePrivateNamespaceW) X(OpenPrivateNamespaceW) X(ClosePrivateNamespace) \
    X(DeleteBoundaryDescriptor)
PORTSETUP_API(Kernel32Api, PORTSETUP_KERNEL32)
const Kernel32Api& Kernel32();
#define PORTSETUP_USER32(X) X(GetDpiForSystem) X(GetDpiForWindow) X(AdjustWindowRectExForDpi) \
    X(SystemParametersInfoForDpi)
PORTSETUP_API(User32Api, PORTSETUP_USER32)
const User32Api& User32();

// The shell's known folders, only where the registry does not say.
#define PORTSETUP_SHELL32(X) X(SHGetKnownFolderPath)
PORTSETUP_API(Shell32Api, PORTSETUP_SHELL32)
const Shell32Api& Shell32();
// Signatures and certificates, for a driver package's catalog.
#define PORTSETUP_WINTRUST(X) X(WinVerifyTrust) X(WTHelperProvDataFromStateData) X(WTHelperGetProvSignerFromChain) \
    X(CryptCATOpen) X(CryptCATClose) X(CryptCATGetMemberInfo) X(CryptCATAdminAcquireContext) \
    X(CryptCATAdminAcquireContext2) X(CryptCATAdminReleaseContext) X(CryptCATAdminCalcHashFromFileHandle) \
    X(CryptCATAdminCalcHashFromFileHandle2)
PORTSETUP_API(WintrustApi, PORTSETUP_WINTRUST)
const WintrustApi& Wintrust();
#define PORTSETUP_CRYPT32(X) X(CertOpenStore) X(CertCloseStore) X(CertFindCertificateInStore) \
    X(CertFreeCertificateContext) X(CertGetNameStringW) X(CertGetEnhancedKeyUsage)
PORTSETUP_API(Crypt32Api, PORTSETUP_CRYPT32)
const Crypt32Api& Crypt32();
// The driver store's INF files and the devices of a device class.
#define PORTSETUP_SETUPAPI(X) X(SetupGetInfInformationW) X(SetupQueryInfOriginalFileInformationW) \
    X(SetupDiGetClassDevsW) X(SetupDiEnumDeviceInfo) X(SetupDiGetDeviceInstanceIdW) \
    X(SetupDiGetDeviceRegistryPropertyW) X(SetupDiOpenDevRegKey) X(SetupDiDestroyDeviceInfoList) \
    X(SetupDiEnumDeviceInterfaces) X(SetupDiOpenDeviceInterfaceRegKey)
PORTSETUP_API(SetupApi, PORTSETUP_SETUPAPI)
const SetupApi& Setup();
// The native file calls: opening and renaming relative to a folder's handle.
#define PORTSETUP_NTDLL(X) X(NtCreateFile) X(NtSetInformationFile) X(RtlNtStatusToDosError)
PORTSETUP_API(NtdllApi, PORTSETUP_NTDLL)
const NtdllApi& Ntdll();
#define PORTSETUP_OLE32(X) X(CoTaskMemFree)
PORTSETUP_API(Ole32Api, PORTSETUP_OLE32)
const Ole32Api& Ole32();

// Restricts the process's DLL search to the system directory, for DLLs loaded
// at run time; the programs run elevated from folders a user can write to.
void RestrictDllSearchToSystem();

// The system's message for an error code, without the trailing line break.
std::u16string SystemErrorText(DWORD error);

// The system directory (System32), without a trailing separator.
std::u16string SystemDirectory();

// A SID as text ("S-1-5-18"); empty for none.
std::u16string SidText(PSID sid);
// The running process's TOKEN_USER, in a buffer; empty when it cannot be read.
std::vector<BYTE> TokenUserOfProcess();

}  // namespace platform
