#include "logic/audit_events.h"

namespace velkora {
namespace {

const std::wstring unknown = L"-";

const std::wstring& orUnknown(const std::wstring& text) {
    return text.empty() ? unknown : text;
}

const wchar_t* restartName(AuditRestart restart) {
    switch (restart) {
    case AuditRestart::Computer:
        return L"computer";
    case AuditRestart::Service:
        return L"service";
    default:
        return L"none";
    }
}

const wchar_t* programName(AuditProgram program) {
    return program == AuditProgram::Window ? L"velkora.exe" : L"velkora-cli.exe";
}

AuditLevel levelOf(AuditEvent event) {
    switch (event) {
    case AuditEvent::Applied:
    case AuditEvent::Confirmed:
        return AuditLevel::Information;
    case AuditEvent::RolledBackAfterFailure:
    case AuditEvent::PutBackFailed:
    case AuditEvent::JournalUnreadable:
        return AuditLevel::Error;
    default:
        return AuditLevel::Warning;
    }
}

} // namespace

std::wstring auditErrorOutcome(const PlatformError& error) {
    return errorNumberText(error.number()) + L": " + error.description() + callNote(error);
}

std::vector<std::wstring> auditInsertionStrings(const AuditAccount& account,
                                                const AuditRecord& record) {
    return {orUnknown(account.name),
            orUnknown(account.sid),
            record.oldPort ? std::to_wstring(*record.oldPort) : unknown,
            std::to_wstring(record.newPort),
            restartName(record.restart),
            orUnknown(record.outcome),
            std::to_wstring(record.exitCode),
            programName(record.program)};
}

AuditEntry auditEntry(const AuditAccount& account, const AuditRecord& record) {
    return {static_cast<unsigned long>(record.event), levelOf(record.event),
            auditInsertionStrings(account, record)};
}

std::optional<PlatformError> recordAuditEvent(AuditLog& log, const AuditRecord& record) {
    std::optional<PlatformError> failure;
    try {
        AuditAccount account;
        try {
            account = log.account();
        } catch (const PlatformError& error) {
            failure = error;
        }
        log.report(auditEntry(account, record));
    } catch (const PlatformError& error) {
        if (!failure) {
            failure = error;
        }
    } catch (...) {
        if (!failure) {
            failure = PlatformError(ErrorNumber::InternalError, L"内部错误");
        }
    }
    return failure;
}

} // namespace velkora
