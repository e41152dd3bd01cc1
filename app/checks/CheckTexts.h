#pragma once

#include "CheckRecord.h"

#include <QString>
#include <span>

namespace Pomiar {

struct CheckStep;
struct ProgramContext;

// The texts of the balance checks' window, its status line and its report:
// section "KW" of the language file, each designed (Polish) text its own
// key. Without a context (or a program folder) the designed texts show.
class CheckTexts {
public:
    static constexpr const char* Section = "KW";

    explicit CheckTexts(const ProgramContext* context = nullptr) : context(context) {}

    // The text for a designed one; a designed text outside the table is
    // looked up all the same.
    QString operator()(const char* designed) const;

    QString KindText(CheckKind kind) const;
    QString VerdictText(Verdict verdict) const;
    QString PositionText(PanPosition position) const;
    // What the operator is to do now.
    QString StepText(const CheckStep& step) const;

    // Every designed text, so that a template run writes them all.
    static std::span<const char* const> Designed();
    static void LookUpAll(const ProgramContext& context);

private:
    const ProgramContext* context;
};

} // namespace Pomiar
