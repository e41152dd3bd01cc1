#include "StartedProgram.h"

#include "EventWait.h"
#include "INI.h"
#include "Module1.h"
#include "Opcje.h"
#include "PerUserSettings.h"
#include "PtyPair.h"

using namespace Pomiar;

StartedProgram::StartedProgram() {
    context.programFolder = folder.path();
    context.dialogs = &dialogs;
}

void StartedProgram::SetLink(const QString& type, const QString& comm, const QString& speed) {
    const std::pair<const char*, const QString&> values[] = {
        {"Type", type}, {"Comm", comm}, {"Speed", speed}};
    for (const auto& [key, value] : values)
        if (!value.isEmpty())
            INI::ZapiszIni(context.IniPath(), "ustawienia", key, value);
}

bool StartedProgram::Start() {
    if (!Module1::ReadSettings(context))
        return false;
    context.userSettings = std::make_shared<PerUserSettings>(context.applicationTitle);
    window = std::make_unique<Glowna>(context);
    QObject::connect(&window->Session(), &AcquisitionSession::ReplyHandled,
                     [this] { ++repliesHandled; });
    dialogs.WhileOpen<Opcje>([this](Opcje&) { ++optionsShown; });
    const bool loaded = window->Load();
    if (loaded)
        window->show();
    // A link that opens takes no reading until the balance has been quiet.
    if (loaded)
        WaitUntil([this] { return !window->Session().DiscardingStream(); },
                  3 * AcquisitionSession::StreamQuietMs);
    return loaded;
}

bool StartedProgram::Reply(PtyPair& balance, const QByteArray& frame, int timeoutMs) {
    const int before = repliesHandled;
    balance.Write(frame);
    return WaitUntil([&] { return repliesHandled > before; }, timeoutMs);
}
