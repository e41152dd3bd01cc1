#pragma once

#include "RegisteredBalance.h"
#include "TestWeight.h"

#include <QDialog>
#include <optional>

class QFormLayout;
class QLineEdit;

namespace Pomiar {

class CheckTexts;
struct ProgramContext;

// Adds or edits one entry of the register: a test weight or a balance. The
// fields are plain texts read back as numbers and dates ("," or "." alike).
class RegisterEntryDialog : public QDialog {
    Q_OBJECT
public:
    RegisterEntryDialog(const TestWeight& weight, const CheckTexts& texts, QWidget* parent);
    RegisterEntryDialog(const RegisteredBalance& balance, const CheckTexts& texts, QWidget* parent);

    // The entry as the fields now hold it; nothing when the id is empty or a
    // number does not read.
    std::optional<TestWeight> Weight() const;
    std::optional<RegisteredBalance> Balance() const;

    // The fields by their captions' order, for tests.
    QList<QLineEdit*> fields;

private:
    QLineEdit* add(QFormLayout* form, const QString& caption, const QString& value);
    void finish(QFormLayout* form, const CheckTexts& texts);
};

} // namespace Pomiar
