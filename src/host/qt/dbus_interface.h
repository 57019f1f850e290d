// The host link on the D-Bus session bus: the names both sides use, and a plane as it travels,
// either the struct (iiay): width, height, then width x height bytes, x fastest, top row first;
// or the struct (iih): width, height and a sealed memory file of width x height bytes in the
// same layout. The full interface is written down in Tarnwick.Tarnwick_Class.xml and
// Marlo.Form1.xml.
#pragma once
#include <QByteArray>
#include <QDBusArgument>
#include <QDBusUnixFileDescriptor>
#include <QMetaType>
#include <QString>

#include "core/plane.h"

inline constexpr char kTarnwickService[] = "Tarnwick.Tarnwick_Class";
inline constexpr char kTarnwickPath[] = "/Tarnwick_Class";
inline constexpr char kTarnwickInterface[] = "Tarnwick.Tarnwick_Class";
inline constexpr char kFormPath[] = "/Form1";
inline constexpr char kFormInterface[] = "Marlo.Form1";
inline constexpr char kPlaneSignature[] = "(iiay)";
inline constexpr char kPlaneFdSignature[] = "(iih)";

// What an (iiay) plane can really carry: D-Bus caps an array at 64 MiB, and the receiving
// connection stops reading once 63 MiB of messages are alive and, under QtDBus, never starts again:
// a larger message stalls the link until the call times out. 64 KiB are left for the message header
// and a few small messages.
inline constexpr qint64 kMaxArrayPlaneBytes = (qint64(63) << 20) - (qint64(64) << 10);

struct BusPlane {
    qint32 width = 0;
    qint32 height = 0;
    QByteArray bytes;
};
Q_DECLARE_METATYPE(BusPlane)

// A plane handed over as a memory file (memfd) sealed against shrinking, growing and writing,
// and against further seals: neither side can change it once it is sent.
struct BusPlaneFd {
    qint32 width = 0;
    qint32 height = 0;
    QDBusUnixFileDescriptor fd;
};
Q_DECLARE_METATYPE(BusPlaneFd)

QDBusArgument& operator<<(QDBusArgument& arg, const BusPlane& plane);
const QDBusArgument& operator>>(const QDBusArgument& arg, BusPlane& plane);
QDBusArgument& operator<<(QDBusArgument& arg, const BusPlaneFd& plane);
const QDBusArgument& operator>>(const QDBusArgument& arg, BusPlaneFd& plane);

// Registers BusPlane and BusPlaneFd with QtDBus; call before the first marshalling (idempotent).
void RegisterBusTypes();

// Why a width x height plane cannot travel as (iiay), or an empty string when it can.
QString ArrayPlaneRefusal(qint64 width, qint64 height);

// The plane in a new sealed memory file. On failure (no memory, no memfd) returns an invalid
// descriptor and the reason in *error.
BusPlaneFd SealedPlane(const Plane& plane, QString* error);

// The plane a sealed memory file holds, after checking what a sender could get wrong or abuse:
// a descriptor that is no regular file (a pipe would block the read), missing seals (the file
// could shrink or change while read), a size other than width x height. Returns false with
// the reason in *error.
bool ReadSealedPlane(const BusPlaneFd& bus, Plane* plane, QString* error);

// Why a struct cannot be a plane (negative size, byte count other than width x height),
// or an empty string when it can.
QString BusPlaneFault(const BusPlane& plane);

// The bus form of a plane. The bytes are shared with `plane`, not copied: keep the plane
// alive and unchanged while the result is in use.
BusPlane BorrowBusPlane(const Plane& plane);
// A plane from a struct that BusPlaneFault accepted.
Plane ToPlane(const BusPlane& plane);
