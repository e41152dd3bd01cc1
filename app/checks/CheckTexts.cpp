#include "CheckTexts.h"

#include "CheckRunner.h"
#include "ProgramContext.h"

namespace Pomiar {

namespace {

const char* const designedTexts[] = {
    "Kontrola wagi",
    "Rejestr",
    "Kontrola",
    "Historia",
    "Odwazniki wzorcowe",
    "Wagi",
    "Dodaj...",
    "Edytuj...",
    "Id",
    "Wartosc nominalna",
    "Masa umowna",
    "Jm",
    "Klasa",
    "Swiadectwo",
    "Wazne do",
    "Niepewnosc",
    "Model",
    "Numer seryjny",
    "Obciazenie maks.",
    "Dzialka d",
    "Stanowisko",
    "Rodzaj kontroli:",
    "Waga:",
    "Odwaznik:",
    "Liczba pomiarow:",
    "Masa wzorca:",
    "Najmniejsza masa netto:",
    "(spoza rejestru)",
    "Rozpocznij",
    "Potwierdz",
    "Anuluj kontrole",
    "Biezacy odczyt:",
    "Raport...",
    "Zamknij",
    "Powtarzalnosc i masa minimalna",
    "Dokladnosc",
    "Mimosrodowosc",
    "zgodna",
    "ostrzezenie",
    "niezgodna",
    "anulowana",
    "srodek",
    "lewy przod",
    "lewy tyl",
    "prawy tyl",
    "prawy przod",
    "Poloz odwaznik na srodku szalki (%1 z %2)",
    "Zdejmij odwaznik i poloz go ponownie (%1 z %2)",
    "Przesun odwaznik: %3 (%1 z %2)",
    "Zdejmij odwaznik z szalki",
    "Kontrola zakonczona: %1",
    "Kontrola anulowana",
    "Nie mozna rozpoczac kontroli: %1",
    "Odczyt nieudany: %1",
    "Swiadectwo odwaznika %1 bylo wazne do %2. Uzyc go mimo to? Raport pokaze ostrzezenie.",
    "Nie zapisano kontroli w rejestrze: %1",
    "Rejestr kontroli nie jest dostepny: %1",
    "Id nie moze byc puste",
    "Odwaznik wzorcowy",
    "Waga",
    "Data",
    "Operator",
    "Wynik",
    "Lp",
    "Pozycja",
    "Odczyt",
    "Czas",
    "Kontrola: %1 %2 (%3), nastepna %4",
    "Kontrola: brak, nastepna dzis",
    "Kontrola ZALEGLA od %1: %2",
    "Kontrola wymagana dzis: %1",
    "Raport z kontroli wagi",
    "Odwaznik",
    "Swiadectwo (wazne do)",
    "Program",
    "Rozpoczeto",
    "Zakonczono",
    "Odczyty",
    "Wielkosci",
    "Granice",
    "Granica niezgodnosci",
    "Granica ostrzezenia",
    "Zrodlo granic",
    "Ostrzezenia",
    "Dziennik rejestru: wpis %1, skrot %2",
    "Wykonal (data, podpis): ..........................................",
    "Sprawdzil (data, podpis): ..........................................",
    "Powod",
    "brak",
    "Strona %1 z %2",
    "< m min",
    "Ponizej masy minimalnej (SF x m min)",
    "Zapisz PDF",
};

} // namespace

QString CheckTexts::operator()(const char* designed) const {
    const QString text = QString::fromUtf8(designed);
    if (!context || context->programFolder.isEmpty() ||
        context->settings.languageFileName.isEmpty())
        return text;
    return context->Lang(QLatin1String(Section), text, text);
}

std::span<const char* const> CheckTexts::Designed() {
    return designedTexts;
}

void CheckTexts::LookUpAll(const ProgramContext& context) {
    const CheckTexts texts(&context);
    for (const char* designed : designedTexts)
        texts(designed);
}

QString CheckTexts::KindText(CheckKind kind) const {
    switch (kind) {
    case CheckKind::Repeatability:
        return (*this)("Powtarzalnosc i masa minimalna");
    case CheckKind::Accuracy:
        return (*this)("Dokladnosc");
    case CheckKind::Eccentricity:
        return (*this)("Mimosrodowosc");
    }
    return {};
}

QString CheckTexts::VerdictText(Verdict verdict) const {
    switch (verdict) {
    case Verdict::Pass:
        return (*this)("zgodna");
    case Verdict::Warning:
        return (*this)("ostrzezenie");
    case Verdict::Fail:
        return (*this)("niezgodna");
    case Verdict::Cancelled:
        return (*this)("anulowana");
    }
    return {};
}

QString CheckTexts::PositionText(PanPosition position) const {
    switch (position) {
    case PanPosition::Centre:
        return (*this)("srodek");
    case PanPosition::FrontLeft:
        return (*this)("lewy przod");
    case PanPosition::BackLeft:
        return (*this)("lewy tyl");
    case PanPosition::BackRight:
        return (*this)("prawy tyl");
    case PanPosition::FrontRight:
        return (*this)("prawy przod");
    }
    return {};
}

QString CheckTexts::StepText(const CheckStep& step) const {
    const QString number = QString::number(step.index + 1);
    const QString total = QString::number(step.total);
    switch (step.action) {
    case CheckStep::Action::Place:
        return (*this)("Poloz odwaznik na srodku szalki (%1 z %2)").arg(number, total);
    case CheckStep::Action::Replace:
        return (*this)("Zdejmij odwaznik i poloz go ponownie (%1 z %2)").arg(number, total);
    case CheckStep::Action::Move:
        return (*this)("Przesun odwaznik: %3 (%1 z %2)")
            .arg(number, total, PositionText(step.position));
    case CheckStep::Action::Remove:
        return (*this)("Zdejmij odwaznik z szalki");
    }
    return {};
}

} // namespace Pomiar
