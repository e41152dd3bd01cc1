#pragma once

#include "MordalExport.h"

#include <QMap>
#include <QString>
#include <QVariant>

namespace Mordal {

// Where a host keeps a control's persisted properties between runs.
class MORDAL_EXPORT PropertyBag {
public:
    virtual ~PropertyBag() = default;
    virtual QVariant ReadProperty(const QString& name, const QVariant& defaultValue) const = 0;
    virtual void WriteProperty(const QString& name, const QVariant& value,
                               const QVariant& defaultValue) = 0;
};

// A bag held in memory; a value equal to its default is not stored.
class MORDAL_EXPORT MemoryPropertyBag : public PropertyBag {
public:
    QVariant ReadProperty(const QString& name, const QVariant& defaultValue) const override {
        return values.value(name, defaultValue);
    }
    void WriteProperty(const QString& name, const QVariant& value,
                       const QVariant& defaultValue) override {
        if (value == defaultValue)
            values.remove(name);
        else
            values.insert(name, value);
    }
    bool Contains(const QString& name) const { return values.contains(name); }

private:
    QMap<QString, QVariant> values;
};

} // namespace Mordal
