// Numeric control ids on Qt widgets, so code and tests find controls by the ids the
// system's windows use, and accessible names for assistive tools.
#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <QWidget>

namespace vorlanx {

inline constexpr const char* kControlIdProperty = "controlId";

// Tags a control with its id and accessible name; returns it for chaining.
template <typename W>
W* Tag(W* widget, int id, const QString& accessibleName) {
    widget->setProperty(kControlIdProperty, id);
    widget->setAccessibleName(accessibleName);
    return widget;
}

// The first descendant of `root` of type W carrying `id`, or null.
template <typename W = QWidget>
W* FindControl(const QObject* root, int id) {
    const auto children = root->findChildren<W*>();
    for (W* w : children)
        if (w->property(kControlIdProperty).toInt() == id)
            return w;
    return nullptr;
}

}  // namespace vorlanx
