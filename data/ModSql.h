#pragma once
// Choosing and opening the database at start-up, and the files of the application directory.

#include <QString>

// The application directory with one trailing separator. ORVANTA_APP_DIR moves it (tests).
QString AppPath();
// True when the file can be opened for reading.
bool FileExists(const QString& path);
// Sets gDbPath to the first line of data.ini (in the data folder) when that line names an existing file.
void ReadDataIni();
// The local database a run without a dialog opens: the file data.ini names, else MoLian.mdb in the
// data folder. Sets gDbPath on the way.
QString defaultDatabasePath();
// The choice the data source dialog remembered ("LinkData"): true for the server database.
bool SavedServerChoice();
// Opens print.dat of `folder` (with its trailing separator) as gPrintSetup; false when it is not there.
// A file that does not open leaves printing without saved settings.
bool OpenPrintSettings(const QString& folder);
// Opens print settings, the shared connection and the system record sets; False ends the program.
bool OpenDatabase();

// A server name as the server box takes it: a host name or IPv4 address, with ",port" or ":port".
bool isServerAddress(const QString& text);
// The workstation's sslmode for the server (setting "SslMode"), lower-cased; empty: libpq's default.
QString sslModeSetting();

QString localConnectionString(const QString& path);
QString serverConnectionString(const QString& server);
QString serverFallbackConnectionString(const QString& server);
