#include "firebirdservice.h"

#include "enginefolders.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QThread>

#include <ibase.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The database's owner, as the program opens it; the embedded engine checks no password.
const std::string UserName = "admin";

std::string engineMessage(const ISC_STATUS *status)
{
    std::string message;
    char line[1024];
    const ISC_STATUS *next = status;
    while (fb_interpret(line, sizeof line, &next) > 0) {
        if (!message.empty())
            message += '\n';
        message += line;
    }
    return message.empty() ? std::string("The database engine gave no reason.") : message;
}

// A service parameter buffer: a tag, a two-byte length and the bytes.
void addText(std::vector<char> &buffer, char tag, const QString &text)
{
    const QByteArray bytes = QFile::encodeName(text);
    if (bytes.size() > 0xFFFF)
        throw std::runtime_error("A path is too long for the database engine.");
    buffer.push_back(tag);
    buffer.push_back(static_cast<char>(bytes.size() & 0xFF));
    buffer.push_back(static_cast<char>((bytes.size() >> 8) & 0xFF));
    buffer.insert(buffer.end(), bytes.begin(), bytes.end());
}

void addInteger(std::vector<char> &buffer, char tag, ISC_ULONG value)
{
    buffer.push_back(tag);
    for (int shift = 0; shift < 32; shift += 8)
        buffer.push_back(static_cast<char>((value >> shift) & 0xFF));
}

int threadCount()
{
    return static_cast<int>(
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// Starts a service action and reads its output until it ends.
void runService(const std::vector<char> &action)
{
    EngineFolders::useOwn();
    ISC_STATUS_ARRAY status{};
    isc_svc_handle service = 0;
    std::vector<char> attach{isc_spb_version, isc_spb_current_version, isc_spb_user_name,
                             static_cast<char>(UserName.size())};
    attach.insert(attach.end(), UserName.begin(), UserName.end());

    const int threadsBefore = threadCount();
    char serviceName[] = "service_mgr";
    if (isc_service_attach(status, 0, serviceName, &service, static_cast<unsigned short>(attach.size()), attach.data()))
        throw std::runtime_error(engineMessage(status));

    std::string failure;
    if (isc_service_start(status, &service, nullptr, static_cast<unsigned short>(action.size()), action.data())) {
        failure = engineMessage(status);
    } else {
        // The verbose output is only read to know when the work is done; errors
        // come back as the query's status.
        char request[] = {isc_info_svc_line};
        std::vector<char> answer(16384);
        for (;;) {
            if (isc_service_query(status, &service, nullptr, 0, nullptr, sizeof request, request,
                                  static_cast<unsigned short>(answer.size()), answer.data())) {
                failure = engineMessage(status);
                break;
            }
            if (answer[0] != isc_info_svc_line)
                break;
            const int length = static_cast<unsigned char>(answer[1]) | (static_cast<unsigned char>(answer[2]) << 8);
            if (length == 0)
                break;
        }
    }
    isc_service_detach(status, &service);

    // The engine ends the service's thread shortly after the detach; a process
    // that ended under it would crash, so wait (briefly) until it is gone.
    QElapsedTimer waited;
    waited.start();
    while (threadCount() > threadsBefore && waited.elapsed() < 2000)
        QThread::msleep(10);

    if (!failure.empty())
        throw std::runtime_error(failure);
}

} // namespace

void FirebirdService::backupDatabase(const QString &databasePath, const QString &backupFile)
{
    std::vector<char> action{isc_action_svc_backup};
    addText(action, isc_spb_dbname, databasePath);
    addText(action, isc_spb_bkp_file, backupFile);
    action.push_back(isc_spb_verbose);
    runService(action);
}

void FirebirdService::restoreDatabase(const QString &backupFile, const QString &databasePath)
{
    std::vector<char> action{isc_action_svc_restore};
    addText(action, isc_spb_bkp_file, backupFile);
    addText(action, isc_spb_dbname, databasePath);
    addInteger(action, isc_spb_options, isc_spb_res_create);
    action.push_back(isc_spb_verbose);
    runService(action);
}
