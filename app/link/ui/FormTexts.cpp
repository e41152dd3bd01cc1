#include "FormTexts.h"

#include "LanguageTexts.h"
#include "ProgramContext.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSet>
#include <QToolBar>
#include <QToolButton>

namespace Pomiar {

namespace {

// One window's walk: the lookups go to its section; tables and toolbars
// met on the way are translated after every control.
class FormTexts {
public:
    FormTexts(const ProgramContext& context, QString section)
        : context(context), section(std::move(section)) {}

    QString Lookup(const QString& designed) const {
        return context.Lang(section, designed, designed);
    }

    void Controls(const QObject* parent) {
        for (QObject* child : parent->children()) {
            if (child->objectName().startsWith(QLatin1String("qt_")))
                continue;
            auto* widget = qobject_cast<QWidget*>(child);
            // Menus are windows of their own to Qt, yet belong to this one.
            if (widget && widget->isWindow() && !qobject_cast<QMenu*>(widget))
                continue;
            Control(child);
            Controls(child);
        }
    }

    void TablesAndToolbars() {
        QSet<const QAbstractItemModel*> translated;
        for (QAbstractItemView* view : views) {
            // Views sharing a model share its captions.
            if (!view->model() || translated.contains(view->model()))
                continue;
            translated.insert(view->model());
            ColumnCaptions(view);
        }
        for (QToolBar* toolbar : toolbars)
            ToolTips(toolbar);
    }

private:
    void Control(QObject* control) {
        if (auto* label = qobject_cast<QLabel*>(control)) {
            if (!label->text().isEmpty())
                label->setText(Lookup(label->text()));
        } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            // A toolbar's button shows its action, which is translated itself.
            auto* toolButton = qobject_cast<QToolButton*>(button);
            if (!(toolButton && toolButton->defaultAction()) && !button->text().isEmpty())
                button->setText(Lookup(button->text()));
        } else if (auto* frame = qobject_cast<QGroupBox*>(control)) {
            if (!frame->title().isEmpty())
                frame->setTitle(Lookup(frame->title()));
        } else if (auto* menu = qobject_cast<QMenu*>(control)) {
            if (!menu->title().isEmpty())
                menu->setTitle(Lookup(menu->title()));
        } else if (auto* action = qobject_cast<QAction*>(control)) {
            Action(action);
        } else if (qobject_cast<QHeaderView*>(control)) {
            // A table's own header shows the table's captions, which the
            // table translates; taken again, the translations would be
            // looked up as keys of their own.
        } else if (auto* view = qobject_cast<QAbstractItemView*>(control)) {
            views << view;
        } else if (auto* toolbar = qobject_cast<QToolBar*>(control)) {
            toolbars << toolbar;
        }
    }

    void Action(QAction* action) {
        // A menu's own action carries the menu's title, done with the menu;
        // a toolbar's actions are looked up by tool tip.
        if (action->isSeparator() || QMenu::menuInAction(action) ||
            qobject_cast<QToolBar*>(action->parent()) || action->text().isEmpty())
            return;
        action->setText(Lookup(action->text()));
    }

    void ColumnCaptions(QAbstractItemView* view) {
        QAbstractItemModel* model = view->model();
        if (!model)
            return;
        for (int column = 0; column < model->columnCount(); ++column) {
            const QString caption = model->headerData(column, Qt::Horizontal).toString();
            if (!caption.isEmpty())
                model->setHeaderData(column, Qt::Horizontal, Lookup(caption), Qt::DisplayRole);
        }
    }

    void ToolTips(QToolBar* toolbar) {
        for (QAction* button : toolbar->actions()) {
            if (button->isSeparator() || button->toolTip().isEmpty())
                continue;
            button->setToolTip(Lookup(button->toolTip()));
        }
    }

    const ProgramContext& context;
    const QString section;
    QList<QAbstractItemView*> views;
    QList<QToolBar*> toolbars;
};

} // namespace

void ApplyFormTexts(const ProgramContext& context, QWidget* window) {
    if (!window || context.programFolder.isEmpty())
        return;
    const QString section = FormSection(window->objectName());
    if (section.isEmpty())
        return;
    // Once per window: a second pass would take the translations for designed
    // texts and write them into the file as keys of their own.
    const char* applied = "formTextsApplied";
    if (window->property(applied).toBool())
        return;
    window->setProperty(applied, true);
    FormTexts texts(context, section);
    // A window without a caption has nothing to translate there, and an
    // empty default would only be written back as missing on every load.
    if (!window->windowTitle().isEmpty())
        window->setWindowTitle(context.Lang(section, QStringLiteral("x"), window->windowTitle()));
    texts.Controls(window);
    texts.TablesAndToolbars();
}

QString FormCodeText(const ProgramContext& context, const QWidget& window,
                     const QString& designed) {
    const QString section = FormSection(window.objectName());
    if (context.programFolder.isEmpty() || section.isEmpty())
        return designed;
    return context.Lang(section, designed, designed);
}

} // namespace Pomiar
