#include "app/cli/DumpUi.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QTabWidget>
#include <QWidget>

namespace velorix {

namespace {

QString jsonString(const QString& s) {
    QString out = QStringLiteral("\"");
    for (const QChar c : s) {
        switch (c.unicode()) {
        case '"':
            out += QStringLiteral("\\\"");
            break;
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + QLatin1Char('"');
}

// Class names without our namespace: the short names the controls are listed by.
QString className(const QObject* o) {
    QString name = QString::fromLatin1(o->metaObject()->className());
    const int colons = name.lastIndexOf(QStringLiteral("::"));
    return colons >= 0 ? name.mid(colons + 2) : name;
}

class Writer {
public:
    void begin(const QObject* o) {
        fields_.clear();
        add(QStringLiteral("name"), jsonString(o->objectName()));
        add(QStringLiteral("class"), jsonString(className(o)));
    }
    void add(const QString& key, const QString& json) {
        fields_ << jsonString(key) + QStringLiteral(": ") + json;
    }
    void addInt(const QString& key, int v) { add(key, QString::number(v)); }
    void addBool(const QString& key, bool v) {
        add(key, v ? QStringLiteral("true") : QStringLiteral("false"));
    }
    void addText(const QString& key, const QString& v) { add(key, jsonString(v)); }
    void end() { objects_ << QStringLiteral("  {") + fields_.join(QStringLiteral(", ")) + "}"; }
    QByteArray result() const {
        return (QStringLiteral("[\n") + objects_.join(QStringLiteral(",\n")) +
                QStringLiteral("\n]\n"))
            .toUtf8();
    }

private:
    QStringList fields_;
    QStringList objects_;
};

bool wanted(const QObject* o) {
    const QString name = o->objectName();
    return !name.isEmpty() && !name.startsWith(QLatin1String("qt_"));
}

void writeAction(Writer& w, const QAction* a) {
    w.begin(a);
    w.addText(QStringLiteral("text"), a->isSeparator() ? QStringLiteral("-") : a->text());
    w.addText(QStringLiteral("toolTip"), a->isSeparator() ? QString() : a->toolTip());
    w.addBool(QStringLiteral("enabled"), a->isEnabled());
    w.addBool(QStringLiteral("visible"), a->isVisible());
    if (a->isCheckable())
        w.addBool(QStringLiteral("checked"), a->isChecked());
    w.end();
}

// The caption of a tab sheet is its tab's text.
bool tabCaption(const QWidget* widget, QString& text) {
    const QWidget* stack = widget->parentWidget();
    const auto* tabs = stack ? qobject_cast<const QTabWidget*>(stack->parentWidget()) : nullptr;
    if (!tabs)
        return false;
    const int i = tabs->indexOf(const_cast<QWidget*>(widget));
    if (i < 0)
        return false;
    text = tabs->tabText(i);
    return true;
}

void writeWidget(Writer& w, const QWidget* widget) {
    w.begin(widget);
    if (const auto* menu = qobject_cast<const QMenu*>(widget)) {
        w.addText(QStringLiteral("text"), menu->title());
        w.addText(QStringLiteral("toolTip"), menu->toolTip());
        w.addBool(QStringLiteral("enabled"), menu->menuAction()->isEnabled());
        w.addBool(QStringLiteral("visible"), menu->menuAction()->isVisible());
        w.end();
        return;
    }
    const QRect g = widget->geometry();
    w.addInt(QStringLiteral("x"), widget->isWindow() ? widget->x() : g.x());
    w.addInt(QStringLiteral("y"), widget->isWindow() ? widget->y() : g.y());
    w.addInt(QStringLiteral("width"), g.width());
    w.addInt(QStringLiteral("height"), g.height());
    QString text;
    if (widget->isWindow())
        text = widget->windowTitle();
    else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        text = button->text();
    else if (const auto* label = qobject_cast<const QLabel*>(widget))
        text = label->text();
    else if (const auto* combo = qobject_cast<const QComboBox*>(widget))
        text = combo->currentText();
    else
        tabCaption(widget, text);
    w.addText(QStringLiteral("text"), text);
    w.addText(QStringLiteral("toolTip"), widget->toolTip());
    w.addBool(QStringLiteral("enabled"), widget->isEnabled());
    w.addBool(QStringLiteral("visible"), !widget->isHidden());
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget);
        button && button->isCheckable())
        w.addBool(QStringLiteral("checked"), button->isChecked());
    w.end();
}

void walk(Writer& w, const QObject* o) {
    if (wanted(o)) {
        if (const auto* widget = qobject_cast<const QWidget*>(o))
            writeWidget(w, widget);
        else if (const auto* action = qobject_cast<const QAction*>(o))
            writeAction(w, action);
    }
    for (const QObject* child : o->children()) {
        // Other top-level windows (the help window) are not part of this window's tree.
        if (const auto* cw = qobject_cast<const QWidget*>(child);
            cw && cw->isWindow() && !qobject_cast<const QMenu*>(cw))
            continue;
        walk(w, child);
    }
}

} // namespace

QByteArray dumpUi(QWidget* window) {
    Writer w;
    walk(w, window);
    return w.result();
}

} // namespace velorix
