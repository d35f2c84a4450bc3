#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "desktop/PrivateBus.h"

namespace tavuno::test {

// Records the Changed signals of the control interface.
class ChangedRecorder : public QObject {
  Q_OBJECT

 public:
  QList<QStringList> signals_;

 public slots:
  void changed(const QStringList& parts) { signals_.append(parts); }
};

// Records the PropertiesChanged signals of the control object.
class PropertiesRecorder : public QObject {
  Q_OBJECT

 public:
  struct Change {
    QString interface;
    QVariantMap changed;
    QStringList invalidated;
  };
  QList<Change> signals_;

 public slots:
  void changed(const QString& interface, const QVariantMap& changed,
               const QStringList& invalidated) {
    signals_.append({interface, changed, invalidated});
  }
};

// The result of one run of the tavuno executable.
struct Run {
  int exitCode = -1;
  QString out;
  QString err;
};

// Runs the tavuno executable with the session bus at `busAddress` (English,
// offscreen, settings under `home`), turning the event loop while it runs so
// the app in this process can answer it. A run that outlives `seconds` is
// killed and gives exit code -1.
Run runTavuno(const QString& busAddress, const QString& home, const QStringList& arguments,
              double seconds = 60);
// The same on `bus`, with the settings in the bus's folder.
Run runTavuno(const PrivateBus& bus, const QStringList& arguments, double seconds = 60);

}  // namespace tavuno::test
