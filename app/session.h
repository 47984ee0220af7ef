// The one owner of every process-wide value: the chosen source, the
// bad-sector answer, the type list, the found files, the fixed settings,
// where the logs lie and whether the recovery log has its start block, and
// the machine's seams they are reached through.
//
// Each executable builds exactly one session at start-up (SystemSession) and
// hands it by reference to whatever needs a process-wide value; nothing
// below reaches for the real disks or the real settings store on its own.
// Tests build their own session over fakes (app/testing/test_session.h), so
// every test starts from fresh values.
#pragma once

#include <atomic>
#include <utility>

#include "core/scan/catalogue.h"
#include "core/scan/found_file_list.h"
#include "core/source/bad_sector_policy.h"
#include "core/source/device_enumeration.h"
#include "core/source/source_descriptor.h"
#include "logs/log.h"
#include "platform/destination.h"
#include "platform/raw_io.h"
#include "platform/settings_store.h"
#include "settings/settings.h"

namespace zt {

// The machine as the session's values reach it. Every member is kept by
// reference and must outlive the session.
struct SessionSeams {
    platform::RawIo& rawIo;                  // reads of the source: devices, image files, image sets
    platform::SettingsStore& store;          // the installation's values and the device key
    platform::Destination& destination;      // writing image sets and saving found files
    DriveProbe& drives;                      // the logical drives of the source tree
    ToolLauncher& launcher;                  // the device-query tool
};

class Session {
public:
    // settings are fixed here and only read afterwards.
    Session(SessionSeams seams, AppSettings settings);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    [[nodiscard]] const AppSettings& Settings() const { return m_settings; }
    // The store and AppRegistryKey the logs find their folders through.
    [[nodiscard]] const LogContext& Logs() const { return m_logs; }
    [[nodiscard]] const SessionSeams& Seams() const { return m_seams; }

    // Filled by the source selection's Next; lives until it is filled again.
    [[nodiscard]] SourceDescriptor& Source() { return m_source; }
    // Lives for the whole process and is never reset: a Skip All holds for
    // every later run. The front end installs its prompt at start-up.
    [[nodiscard]] BadSectorPolicyState& BadSectors() { return m_badSectors; }
    // The types of the scan about to start and the signatures they were
    // built for, set together by the type selection's Next: a list is only
    // ever scanned in the mode whose definitions it holds.
    void SetTypes(TypeDefinitionList types, SignatureMode mode) {
        m_types = std::move(types);
        m_signatures = mode;
    }
    // The scan counts its finds into the list; it is emptied when the type
    // page is left with Back and when the scan page closes.
    [[nodiscard]] TypeDefinitionList& Types() { return m_types; }
    // The catalogue's own signatures (the default) or the extended ones.
    [[nodiscard]] SignatureMode Signatures() const { return m_signatures; }
    // Chosen with the types: whether the scan also reads the card's file
    // systems for the names, folders and times of their files (off by default).
    [[nodiscard]] bool UsesFileSystems() const { return m_fileSystems; }
    void SetUsesFileSystems(bool on) { m_fileSystems = on; }
    // Appended to by the scan; emptied by the results page's Back.
    [[nodiscard]] FoundFileList& Found() { return m_found; }
    // Set by the first saving run that writes the recovery log's start block.
    [[nodiscard]] std::atomic<bool>& RecoveryHeaderWritten() { return m_recoveryHeaderWritten; }

private:
    SessionSeams m_seams;
    const AppSettings m_settings;
    const LogContext m_logs;
    SourceDescriptor m_source;
    BadSectorPolicyState m_badSectors;
    TypeDefinitionList m_types;
    SignatureMode m_signatures = SignatureMode::Standard;
    bool m_fileSystems = false;
    FoundFileList m_found;
    std::atomic<bool> m_recoveryHeaderWritten{false};
};

// The machine's seams and the session over them, for an executable's main():
// start-up runs (the first start acts as the installation), the settings are
// fixed, and the session lives until the process ends.
class SystemSession {
public:
    SystemSession();
    SystemSession(const SystemSession&) = delete;
    SystemSession& operator=(const SystemSession&) = delete;

    [[nodiscard]] Session& Get() { return m_session; }

private:
    SystemDriveProbe m_drives;
    SystemToolLauncher m_launcher;
    Session m_session;
};

}  // namespace zt
