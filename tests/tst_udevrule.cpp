// SPDX-License-Identifier: GPL-3.0-or-later
#include "device/solvanedeviceinfo_linux.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QVector>
#include <QXmlStreamReader>
#include <QtTest>

#include <fnmatch.h>

// The installed udev rule and the AppStream modaliases must pick out exactly the devices the
// program recognises: a device the rule misses cannot be opened by the user, and one it catches
// wrongly is handed to the user and hidden from ModemManager for nothing. The rule is run through
// a small interpreter of the udev rule language that fails on any key it does not know, so a
// rule rewritten with new keys cannot pass by being half understood.

namespace {

struct RuleKey
{
    QByteArray name;
    QByteArray attribute;
    QByteArray op;
    QByteArray value;
    // udev splits a match value at '|' into alternatives, each an fnmatch(3) pattern.
    QList<QByteArray> patterns;
};

// The keys of one rule line, sorted by the way udev treats them.
struct Rule
{
    int line = 0;
    QByteArray label;
    QVector<RuleKey> ownMatches;
    QVector<RuleKey> parentMatches;
    QVector<RuleKey> actions;
};

struct Device
{
    QByteArray subsystem;
    QByteArray kernel;
    QMap<QByteArray, QByteArray> attributes;
};

// What udev sees: the device of the event first, then its parents up to the root.
struct Event
{
    QByteArray action;
    QVector<Device> devices;
};

struct Outcome
{
    QSet<QByteArray> tags;
    QMap<QByteArray, QByteArray> environment;
    QByteArray mode;
    QString error;
};

bool globMatches(const QList<QByteArray> &patterns, const QByteArray &text)
{
    for (const QByteArray &pattern : patterns) {
        if (fnmatch(pattern.constData(), text.constData(), 0) == 0)
            return true;
    }
    return false;
}

bool isMatchOperator(const QByteArray &op)
{
    return op == "==" || op == "!=";
}

bool isParentKey(const RuleKey &key)
{
    return key.name == "ATTRS" || key.name == "SUBSYSTEMS" || key.name == "KERNELS";
}

bool parseRule(const QString &text, QVector<RuleKey> *keys)
{
    static const QRegularExpression keyPattern(QStringLiteral(
        "\\G\\s*([A-Z_]+)(?:\\{([^}]*)\\})?\\s*(==|!=|\\+=|-=|:=|=)\\s*\"([^\"]*)\"\\s*(?:,|$)"));
    int position = 0;
    while (position < text.size()) {
        const QRegularExpressionMatch match = keyPattern.match(text, position);
        if (!match.hasMatch() || match.capturedLength() == 0)
            return false;
        RuleKey key;
        key.name = match.captured(1).toLatin1();
        key.attribute = match.captured(2).toLatin1();
        key.op = match.captured(3).toLatin1();
        key.value = match.captured(4).toLatin1();
        key.patterns = key.value.split('|');
        keys->append(key);
        position = match.capturedEnd();
    }
    return !keys->isEmpty();
}

bool parseRules(const QByteArray &content, QVector<Rule> *rules, QString *error)
{
    const QList<QByteArray> lines = content.split('\n');
    QByteArray logical;
    int firstLine = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (logical.isEmpty())
            firstLine = i + 1;
        if (line.endsWith('\\') && !line.startsWith('#')) {
            logical += line.chopped(1) + ' ';
            continue;
        }
        logical += line;
        const QByteArray text = logical.trimmed();
        logical.clear();
        if (text.isEmpty() || text.startsWith('#'))
            continue;
        QVector<RuleKey> keys;
        if (!parseRule(QString::fromLatin1(text), &keys)) {
            *error = QStringLiteral("line %1 is not a udev rule: %2")
                         .arg(firstLine)
                         .arg(QString::fromLatin1(text));
            return false;
        }
        Rule rule;
        rule.line = firstLine;
        for (const RuleKey &key : qAsConst(keys)) {
            if (key.name == "LABEL")
                rule.label = key.value;
            else if (!isMatchOperator(key.op))
                rule.actions.append(key);
            else if (isParentKey(key))
                rule.parentMatches.append(key);
            else
                rule.ownMatches.append(key);
        }
        rules->append(rule);
    }
    return true;
}

bool matchResult(const RuleKey &key, bool holds)
{
    return key.op == "==" ? holds : !holds;
}

// Keys that look at the device of the event itself. Returns false with an error for a key this
// interpreter does not know.
bool ownKeyMatches(
    const RuleKey &key, const Event &event, const Outcome &outcome, bool *matches, QString *error)
{
    const Device &device = event.devices.first();
    if (key.name == "ACTION") {
        *matches = matchResult(key, globMatches(key.patterns, event.action));
    } else if (key.name == "SUBSYSTEM") {
        *matches = matchResult(key, globMatches(key.patterns, device.subsystem));
    } else if (key.name == "KERNEL") {
        *matches = matchResult(key, globMatches(key.patterns, device.kernel));
    } else if (key.name == "ENV") {
        *matches
            = matchResult(key, globMatches(key.patterns, outcome.environment.value(key.attribute)));
    } else if (key.name == "ATTR") {
        // A missing attribute fails the key whichever the operator, as in udev.
        *matches = device.attributes.contains(key.attribute)
            && matchResult(key, globMatches(key.patterns, device.attributes.value(key.attribute)));
    } else {
        *error = QStringLiteral("unsupported match key %1").arg(QString::fromLatin1(key.name));
        return false;
    }
    return true;
}

// udev requires all parent keys of one rule to hold on one and the same device of the chain.
bool parentKeysMatch(const QVector<RuleKey> &parentKeys, const Event &event)
{
    if (parentKeys.isEmpty())
        return true;
    for (const Device &device : event.devices) {
        bool all = true;
        for (const RuleKey &key : parentKeys) {
            if (key.name == "ATTRS") {
                all = device.attributes.contains(key.attribute)
                    && matchResult(
                        key, globMatches(key.patterns, device.attributes.value(key.attribute)));
            } else if (key.name == "SUBSYSTEMS") {
                all = matchResult(key, globMatches(key.patterns, device.subsystem));
            } else {
                all = matchResult(key, globMatches(key.patterns, device.kernel));
            }
            if (!all)
                break;
        }
        if (all)
            return true;
    }
    return false;
}

int labelIndex(const QVector<Rule> &rules, int from, const QByteArray &label)
{
    for (int i = from; i < rules.size(); ++i) {
        if (rules.at(i).label == label)
            return i;
    }
    return -1;
}

bool applyAssignment(const RuleKey &key, Outcome *outcome)
{
    if (key.name == "TAG") {
        if (key.op == "=" || key.op == ":=")
            outcome->tags.clear();
        if (key.op == "-=")
            outcome->tags.remove(key.value);
        else
            outcome->tags.insert(key.value);
    } else if (key.name == "ENV") {
        outcome->environment.insert(key.attribute, key.value);
    } else if (key.name == "MODE") {
        outcome->mode = key.value;
    } else {
        outcome->error
            = QStringLiteral("unsupported assignment key %1").arg(QString::fromLatin1(key.name));
        return false;
    }
    return true;
}

Outcome evaluate(const QVector<Rule> &rules, const Event &event)
{
    Outcome outcome;
    for (int i = 0; i < rules.size(); ++i) {
        const Rule &rule = rules.at(i);
        bool matches = true;
        for (const RuleKey &key : rule.ownMatches) {
            QString error;
            if (!ownKeyMatches(key, event, outcome, &matches, &error)) {
                outcome.error = error;
                return outcome;
            }
            if (!matches)
                break;
        }
        if (!matches || !parentKeysMatch(rule.parentMatches, event))
            continue;
        int next = i;
        for (const RuleKey &key : rule.actions) {
            if (key.name == "GOTO") {
                next = labelIndex(rules, i + 1, key.value);
                if (next < 0) {
                    outcome.error = QStringLiteral("line %1 jumps to the missing label %2")
                                        .arg(rule.line)
                                        .arg(QString::fromLatin1(key.value));
                    return outcome;
                }
                // The loop's increment would step over the rule that carries the label.
                --next;
            } else if (!applyAssignment(key, &outcome)) {
                return outcome;
            }
        }
        i = next;
    }
    return outcome;
}

QByteArray sysfsIdentifier(quint16 identifier)
{
    return QByteArray::number(identifier, 16).rightJustified(4, '0');
}

QString identifiers(quint16 vendor, quint16 product)
{
    return QString::asprintf("%04X:%04X", vendor, product);
}

// A USB CDC ACM port as the kernel presents it: the tty, the interface, the USB device with the
// identifiers, the root hub (with identifiers of its own), the host controller.
Event acmPortEvent(const QByteArray &action)
{
    Event event;
    event.action = action;
    event.devices = {
        {"tty", "ttyACM0", {{"dev", "166:0"}}},
        {"usb", "1-1:1.0", {{"bInterfaceClass", "02"}, {"bInterfaceNumber", "00"}}},
        {"usb", "1-1", {{"idVendor", "0000"}, {"idProduct", "0000"}, {"bDeviceClass", "02"}}},
        {"usb", "usb1", {{"idVendor", "1d6b"}, {"idProduct", "0002"}}},
        {"pci", "0000:00:14.0", {{"vendor", "0x8086"}, {"device", "0xa36d"}}},
    };
    return event;
}

void setIdentifiers(Event *event, quint16 vendor, quint16 product)
{
    Device &usbDevice = event->devices[event->devices.size() - 3];
    usbDevice.attributes.insert("idVendor", sysfsIdentifier(vendor));
    usbDevice.attributes.insert("idProduct", sysfsIdentifier(product));
}

bool grantsSeatAccess(const Outcome &outcome)
{
    return outcome.tags.contains("uaccess");
}

bool hidesFromModemManager(const Outcome &outcome)
{
    return outcome.environment.value("ID_MM_DEVICE_IGNORE") == "1";
}

bool isWorldWritable(const Outcome &outcome)
{
    bool ok = false;
    const int mode = outcome.mode.toInt(&ok, 8);
    return !outcome.mode.isEmpty() && (!ok || (mode & 0002) != 0);
}

QByteArray modalias(quint16 vendor, quint16 product)
{
    return QString::asprintf("usb:v%04Xp%04Xd0100dc02dsc00dp00ic02isc02ip01in00", vendor, product)
        .toLatin1();
}

} // namespace

class tst_UdevRule : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void ruleRunsBeforeSeatRules();
    void recognitionTable_data();
    void recognitionTable();
    void everyProduct_data();
    void everyProduct();
    void everyVendor_data();
    void everyVendor();
    void otherDevicesLeftAlone_data();
    void otherDevicesLeftAlone();
    void modaliasesAgree_data();
    void modaliasesAgree();

private:
    QVector<Rule> rules;
    QList<QByteArray> modaliases;
};

void tst_UdevRule::initTestCase()
{
    QFile ruleFile(QStringLiteral(SOLVANETERM_UDEV_RULE));
    QVERIFY2(ruleFile.open(QIODevice::ReadOnly), qPrintable(ruleFile.fileName()));
    QString error;
    QVERIFY2(parseRules(ruleFile.readAll(), &rules, &error), qPrintable(error));
    QVERIFY(!rules.isEmpty());

    QFile metainfo(QStringLiteral(SOLVANETERM_METAINFO));
    QVERIFY2(metainfo.open(QIODevice::ReadOnly), qPrintable(metainfo.fileName()));
    QXmlStreamReader xml(&metainfo);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement
            && xml.name() == QLatin1String("modalias"))
            modaliases.append(xml.readElementText().trimmed().toLatin1());
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(!modaliases.isEmpty());
}

void tst_UdevRule::ruleRunsBeforeSeatRules()
{
    // 73-seat-late.rules turns the uaccess tag into an ACL; a tag set after it has no effect.
    const QString name = QFileInfo(QStringLiteral(SOLVANETERM_UDEV_RULE)).fileName();
    const QRegularExpressionMatch match
        = QRegularExpression(QStringLiteral("^(\\d\\d)-[^/]+\\.rules$")).match(name);
    QVERIFY2(match.hasMatch(), qPrintable(name));
    QVERIFY2(match.captured(1).toInt() < 73, qPrintable(name));
}

void tst_UdevRule::recognitionTable_data()
{
    QTest::addColumn<quint16>("vendor");
    QTest::addColumn<quint16>("product");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("04D8:000A") << quint16(0x04D8) << quint16(0x000A) << true;
    QTest::newRow("04D8:00DF") << quint16(0x04D8) << quint16(0x00DF) << true;
    QTest::newRow("04D8:000B neighbour of 000A") << quint16(0x04D8) << quint16(0x000B) << false;
    QTest::newRow("04D8:00DA mixed digits") << quint16(0x04D8) << quint16(0x00DA) << false;
    QTest::newRow("04D8:0A00 shifted 000A") << quint16(0x04D8) << quint16(0x0A00) << false;
    QTest::newRow("04D8:002B other family's product")
        << quint16(0x04D8) << quint16(0x002B) << false;
    QTest::newRow("239A:002B 2B at the end") << quint16(0x239A) << quint16(0x002B) << true;
    QTest::newRow("239A:02B0 2B in the middle") << quint16(0x239A) << quint16(0x02B0) << true;
    QTest::newRow("239A:2B00 2B at the start") << quint16(0x239A) << quint16(0x2B00) << true;
    QTest::newRow("239A:12B4") << quint16(0x239A) << quint16(0x12B4) << true;
    QTest::newRow("239A:802B") << quint16(0x239A) << quint16(0x802B) << true;
    QTest::newRow("239A:2B2B") << quint16(0x239A) << quint16(0x2B2B) << true;
    QTest::newRow("239A:0B2C digits reversed") << quint16(0x239A) << quint16(0x0B2C) << false;
    QTest::newRow("239A:B200 digits reversed") << quint16(0x239A) << quint16(0xB200) << false;
    QTest::newRow("239A:020B digits apart") << quint16(0x239A) << quint16(0x020B) << false;
    QTest::newRow("239A:000A other family's product")
        << quint16(0x239A) << quint16(0x000A) << false;
    QTest::newRow("0000:0000 no USB identity") << quint16(0x0000) << quint16(0x0000) << false;
    QTest::newRow("04D9:000A neighbour vendor") << quint16(0x04D9) << quint16(0x000A) << false;
    QTest::newRow("239B:002B neighbour vendor") << quint16(0x239B) << quint16(0x002B) << false;
    QTest::newRow("D804:000A vendor bytes swapped") << quint16(0xD804) << quint16(0x000A) << false;
    QTest::newRow("9A23:2B00 vendor bytes swapped") << quint16(0x9A23) << quint16(0x2B00) << false;
    QTest::newRow("1D6B:0002 root hub") << quint16(0x1D6B) << quint16(0x0002) << false;
}

void tst_UdevRule::recognitionTable()
{
    QFETCH(quint16, vendor);
    QFETCH(quint16, product);
    QFETCH(bool, accepted);

    QCOMPARE(isSolvaneDevice(vendor, product), accepted);
    // The package triggers "change" after installing; a rule that only held on "add" would take
    // the access away again from a device that is already plugged in.
    for (const QByteArray &action : {QByteArray("add"), QByteArray("change")}) {
        Event event = acmPortEvent(action);
        setIdentifiers(&event, vendor, product);
        const Outcome outcome = evaluate(rules, event);
        QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
        QCOMPARE(grantsSeatAccess(outcome), accepted);
        QCOMPARE(hidesFromModemManager(outcome), accepted);
        QVERIFY2(!isWorldWritable(outcome), outcome.mode.constData());
    }
}

void tst_UdevRule::everyProduct_data()
{
    QTest::addColumn<quint16>("vendor");

    const quint16 vendors[] = {0x04D8, 0x239A, 0x0000, 0x04D9, 0x239B, 0x2B2B, 0xFFFF};
    for (quint16 vendor : vendors)
        QTest::addRow("vendor %04X", vendor) << vendor;
}

void tst_UdevRule::everyProduct()
{
    QFETCH(quint16, vendor);

    Event event = acmPortEvent("add");
    int disagreements = 0;
    int accepted = 0;
    QString first;
    for (int product = 0; product <= 0xFFFF; ++product) {
        setIdentifiers(&event, vendor, quint16(product));
        const Outcome outcome = evaluate(rules, event);
        QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
        const bool recognised = isSolvaneDevice(vendor, quint16(product));
        accepted += recognised ? 1 : 0;
        if (grantsSeatAccess(outcome) != recognised || hidesFromModemManager(outcome) != recognised
            || isWorldWritable(outcome)) {
            if (disagreements++ == 0)
                first = identifiers(vendor, quint16(product));
        }
    }
    QVERIFY2(disagreements == 0,
        qPrintable(
            QStringLiteral("%1 products disagree, the first %2").arg(disagreements).arg(first)));
    // Agreement alone would also hold if both sides accepted nothing. 0x239A takes 2B at one of
    // three places with any two other digits, and 2B2B is counted twice that way.
    const int expected = vendor == 0x04D8 ? 2 : vendor == 0x239A ? 3 * 256 - 1 : 0;
    QCOMPARE(accepted, expected);
}

void tst_UdevRule::everyVendor_data()
{
    QTest::addColumn<quint16>("product");

    const quint16 products[] = {0x000A, 0x00DF, 0x002B, 0x2B00, 0x12B4, 0x0000};
    for (quint16 product : products)
        QTest::addRow("product %04X", product) << product;
}

void tst_UdevRule::everyVendor()
{
    QFETCH(quint16, product);

    Event event = acmPortEvent("add");
    int disagreements = 0;
    QString first;
    for (int vendor = 0; vendor <= 0xFFFF; ++vendor) {
        setIdentifiers(&event, quint16(vendor), product);
        const Outcome outcome = evaluate(rules, event);
        QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
        const bool recognised = isSolvaneDevice(quint16(vendor), product);
        if (grantsSeatAccess(outcome) != recognised
            || hidesFromModemManager(outcome) != recognised) {
            if (disagreements++ == 0)
                first = identifiers(quint16(vendor), product);
        }
    }
    QVERIFY2(disagreements == 0,
        qPrintable(
            QStringLiteral("%1 vendors disagree, the first %2").arg(disagreements).arg(first)));
}

void tst_UdevRule::otherDevicesLeftAlone_data()
{
    // How many devices of the port's chain to drop, and the subsystem the remaining first one is
    // given (empty: keep it).
    QTest::addColumn<int>("dropDevices");
    QTest::addColumn<QByteArray>("subsystem");

    // Access to the raw USB device or to another function of it is more than the terminal needs.
    QTest::newRow("usb device node") << 2 << QByteArray();
    QTest::newRow("usb interface") << 1 << QByteArray();
    QTest::newRow("hidraw of the same device") << 0 << QByteArray("hidraw");
    QTest::newRow("input of the same device") << 0 << QByteArray("input");
}

void tst_UdevRule::otherDevicesLeftAlone()
{
    QFETCH(int, dropDevices);
    QFETCH(QByteArray, subsystem);

    Event event = acmPortEvent("add");
    setIdentifiers(&event, 0x04D8, 0x000A);
    event.devices.remove(0, dropDevices);
    if (!subsystem.isEmpty())
        event.devices.first().subsystem = subsystem;

    const Outcome outcome = evaluate(rules, event);
    QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
    QVERIFY(!grantsSeatAccess(outcome));
    QVERIFY(!hidesFromModemManager(outcome));
}

void tst_UdevRule::modaliasesAgree_data()
{
    everyProduct_data();
}

void tst_UdevRule::modaliasesAgree()
{
    QFETCH(quint16, vendor);

    int disagreements = 0;
    QString first;
    for (int product = 0; product <= 0xFFFF; ++product) {
        const QByteArray alias = modalias(vendor, quint16(product));
        if (globMatches(modaliases, alias) != isSolvaneDevice(vendor, quint16(product))) {
            if (disagreements++ == 0)
                first = QString::fromLatin1(alias);
        }
    }
    QVERIFY2(disagreements == 0,
        qPrintable(
            QStringLiteral("%1 products disagree, the first %2").arg(disagreements).arg(first)));
}

QTEST_GUILESS_MAIN(tst_UdevRule)
#include "tst_udevrule.moc"
