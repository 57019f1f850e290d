// The host link on the D-Bus session bus: the names both sides use, and a plane as it travels,
// the struct (iiay): width, height, then width x height bytes, x fastest, top row first.
// The full interface is written down in Tarnwick.Tarnwick_Class.xml and Marlo.Form1.xml.
#pragma once
#include <QByteArray>
#include <QDBusArgument>
#include <QMetaType>
#include <QString>

#include "canvas/plane.h"

inline constexpr char kTarnwickService[] = "Tarnwick.Tarnwick_Class";
inline constexpr char kTarnwickPath[] = "/Tarnwick_Class";
inline constexpr char kTarnwickInterface[] = "Tarnwick.Tarnwick_Class";
inline constexpr char kFormPath[] = "/Form1";
inline constexpr char kFormInterface[] = "Marlo.Form1";
inline constexpr char kPlaneSignature[] = "(iiay)";

// D-Bus caps an array at 64 MiB, so no plane larger than that can cross (8192 x 8192 fits).
inline constexpr qint64 kMaxBusPlaneBytes = qint64(1) << 26;

struct BusPlane {
    qint32 width = 0;
    qint32 height = 0;
    QByteArray bytes;
};
Q_DECLARE_METATYPE(BusPlane)

QDBusArgument& operator<<(QDBusArgument& arg, const BusPlane& plane);
const QDBusArgument& operator>>(const QDBusArgument& arg, BusPlane& plane);

// Registers BusPlane with QtDBus; call before the first marshalling (idempotent).
void RegisterBusTypes();

// Why a struct cannot be a plane (negative size, byte count other than width x height),
// or an empty string when it can.
QString BusPlaneFault(const BusPlane& plane);

// The bus form of a plane. The bytes are shared with `plane`, not copied: keep the plane
// alive and unchanged while the result is in use.
BusPlane BorrowBusPlane(const Plane& plane);
// A plane from a struct that BusPlaneFault accepted.
Plane ToPlane(const BusPlane& plane);
