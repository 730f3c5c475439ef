#pragma once

#include "app/error.h"
#include "app/settings.h"

#include <QStringList>

#include <array>

// The settings files under the working directory, each read with the fields
// and conversions its consumers expect. Every function leaves the settings as
// they were on failure of its own file, except where said.
namespace SettingsFiles {
inline constexpr QLatin1StringView WorkspacePath{"Set/Workspace.set"};
inline constexpr QLatin1StringView ServerAddressPath{"Set/ParvixSrv.set"};
inline constexpr QLatin1StringView TerminalCountPath{"Set/ParvixIP.set"};
inline constexpr QLatin1StringView ConnectionPath{"Set/Connection.set"};
inline constexpr QLatin1StringView BranchPath{"Set/Filiale.set"};
inline constexpr QLatin1StringView TerminalTablePath{"Set/ParvixHost.set"};
inline constexpr QLatin1StringView OreFileName{"Ore.dat"};

bool readWorkspace(const QString& path, Settings& settings, Error& error);
// Any failure leaves the address empty: the server then asks the network.
QString readServerAddress(const QString& path);
bool readTerminalCount(const QString& path, Settings& settings, Error& error);
bool readConnection(const QString& path, Settings& settings, Error& error);
bool readOre(const QString& path, Settings& settings, Error& error);
bool readBranch(const QString& path, Settings& settings, Error& error);

// The terminal table as the editor shows it: row r holds terminal r + 1.
struct TerminalRows
{
    static constexpr int Count = 20;
    std::array<QString, Count> number;
    std::array<QString, Count> address;
    QStringList beyond; // records numbered above 20, which have no row
};
// Records whose number is 0, negative or not a number are left out.
bool readTerminalRows(const QString& path, TerminalRows& rows, Error& error);
// The first `NumTerminali` rows with a number, as records; the rest is dropped.
bool writeTerminalRows(const QString& path, const TerminalRows& rows, qint32 NumTerminali,
                       Error& error);

bool createDefaultTerminalCount(const QString& path, Error& error);
bool createDefaultTerminalTable(const QString& path, Error& error);
} // namespace SettingsFiles
