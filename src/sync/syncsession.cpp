#include "syncsession.h"

#include "appcontext.h"
#include "dbdatamodule.h"
#include "dberror.h"
#include "syncformat.h"
#include "webdavtarget.h"

#include <memory>

namespace {

SyncReport failed(SyncFault fault, const QString &message)
{
    SyncReport report;
    report.end = SyncEnd::Failed;
    report.fault = fault;
    report.message = message;
    return report;
}

} // namespace

SyncReport runSync(const AppContext &context, const SyncRequest &request,
                   const std::function<void(const SyncProgress &)> &progress, const std::function<bool()> &cancelled,
                   const std::function<void(const QString &problem)> &retrying)
{
    std::unique_ptr<SyncTarget> raw;
    try {
        if (SyncSettings::isWebDav(request.place.target)) {
            WebDavOptions options;
            options.user = request.place.user;
            options.password = request.password;
            options.acceptedPin = request.place.certificatePin;
            if (retrying)
                options.onRetry = [&retrying](const SyncTargetError &error) { retrying(error.message()); };
            raw = std::make_unique<WebDavTarget>(request.place.target, options);
        } else {
            raw = makeSyncTarget(request.place.target, {}, {}, {});
        }
        TDBDataModule database(context.databasePath());
        const QString lastTarget = SyncRun::lastTargetId(database);
        std::optional<TargetIdentity> identity = SyncFormat::readIdentity(*raw);
        if (!identity) {
            if (!lastTarget.isEmpty() && !request.allowNewTarget) {
                SyncReport report;
                report.end = SyncEnd::TargetEmpty;
                report.requests = raw->requestCount();
                return report;
            }
            identity = SyncFormat::create(*raw, request.passphrase);
        } else if (!lastTarget.isEmpty() && identity->targetId != lastTarget && !request.allowNewTarget) {
            SyncReport report;
            report.end = SyncEnd::TargetUnknown;
            report.requests = raw->requestCount();
            return report;
        }
        std::unique_ptr<SyncTarget> target;
        try {
            target = SyncFormat::unlock(*raw, *identity, request.passphrase);
        } catch (const SyncTargetError &error) {
            // Wrong, missing, or given for a target without encryption: the passphrase is what to set.
            SyncReport report;
            report.end = SyncEnd::Passphrase;
            report.fault = error.fault();
            report.message = error.message();
            return report;
        }
        SyncRun run(database, context, *target, identity->targetId);
        run.progress = progress;
        run.cancelled = cancelled;
        const QSet<int> openNotes = request.openNotes;
        run.noteIsOpen = [openNotes](int noteId) { return openNotes.contains(noteId); };
        run.allowMassDelete = request.allowMassDelete;
        run.computerName = request.computerName;
        SyncReport report;
        report.outcome = run.run();
        report.requests = raw->requestCount();
        if (report.outcome.massDeleteHeld)
            report.end = SyncEnd::MassDeleteHeld;
        else
            report.end = cancelled && cancelled() ? SyncEnd::Cancelled : SyncEnd::Synced;
        return report;
    } catch (const SyncTargetError &error) {
        SyncReport report = failed(error.fault(), error.message());
        if (error.fault() == SyncFault::Certificate) {
            report.end = SyncEnd::Certificate;
            if (auto *server = dynamic_cast<WebDavTarget *>(raw.get())) {
                if (const std::optional<ServerCertificate> certificate = server->refusedCertificate())
                    report.certificatePin = certificate->pin;
            }
        }
        if (raw)
            report.requests = raw->requestCount();
        return report;
    } catch (const DbError &error) {
        return failed(SyncFault::Other, error.message());
    } catch (const std::exception &error) {
        return failed(SyncFault::Other, QString::fromLocal8Bit(error.what()));
    }
}
