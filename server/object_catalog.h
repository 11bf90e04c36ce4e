// The station as the ОПРЧ tables describe it: objects, where each stands in the hierarchy, their
// channels and passport values. Built from the session's cached tables in one pass, so every reader
// of the hierarchy (the objects tree, the episodes tab, the export, the batch report) reads it here
// instead of out of widgets.
#pragma once

#include <QHash>
#include <QString>
#include <QVector>
#include <cmath>

class DB;

// Where a station's series come from: archive measurement ids, 0 = no such channel.
// What a unit's passport says that its answers are judged by; NaN (empty) where it says nothing readable.
struct UnitPassport {
    int objectId = 0;
    double nominal = NAN;  // NominalPower, MW
    double minPower = NAN; // MinPower, MW
    double maxPower = NAN; // MaxPower, MW
    double droop = NAN;    // Droop, %
    QString profile;       // RegimeProfile: the rule its answers are judged by; empty: the default one
};

struct UnitChannels : UnitPassport {
    QString name;
    int powerId = 0;
    int calcId = 0;
};

struct StationChannels {
    QString name;
    int objectId = 0;
    int frequencyId = 0;
    QVector<UnitChannels> units;
};

// A channel of an object: the measurement id its setting names and the archive table it is kept in.
struct CatalogChannel {
    int measureId = -1; // -1: the setting is missing or has no value; 0 and below: no channel
    int archiveId = -1;
    bool Present() const { return measureId > 0; }
};

struct CatalogObject {
    int id = 0;
    int parentId = 0;
    int typeId = 0;
    int order = 0;
    bool inRegulation = false;
    QString name;
    int row = -1; // in the objects table
    CatalogChannel frequency;
    CatalogChannel power;
    CatalogChannel calc; // calculated power
    // The object's settings by their keys ("NominalPower", "GeneratingEquipmentNumber", ...), as text.
    QHash<QString, QString> passport;
    // Where the object is shown: its children there, in display order.
    QVector<int> shownChildren;
};

class ObjectCatalog {
public:
    // Reads the session's objects, settings and data tables; empty without them.
    static ObjectCatalog Build(DB *db);
    // Straight from the tables as well: the ids whose parent is `parentId`, in table order, and whether
    // an object is its own ancestor.
    static QVector<int> ChildrenInTable(DB *db, int parentId);
    static bool InParentCycle(DB *db, int id);
    // One object and its channels straight from the tables, without its place in the hierarchy and its
    // passport; false for an unknown id.
    static bool ReadOne(DB *db, int id, CatalogObject *object);

    bool IsEmpty() const { return objects.isEmpty(); }
    // The first object of an id; null for an unknown id.
    const CatalogObject *Find(int id) const;
    // Shown at the top level (the children of "no parent" and one member of each parent cycle), in
    // display order; the objects whose parent is not in the table are listed apart, in Orphans().
    const QVector<int> &TopLevel() const { return topLevel; }
    const QVector<int> &Orphans() const { return orphans; }
    // Rows whose id an earlier row already has; the first of them is the object.
    int DuplicateIds() const { return duplicates; }
    // Objects in the order the tree shows them level by level (breadth first, top level and the
    // orphans' group in display order): the order stations are listed in.
    QVector<int> ShownOrder() const;
    // Stations (objects with a frequency channel) and their units (objects below them with a power
    // channel, down through objects that are not stations themselves), in the order the tree shows them.
    // Found once when the catalogue is built: the episodes tab asks for them on every tick.
    const QVector<StationChannels> &Stations() const { return stations; }
    // The sort key of a display order, as the tree sorts its nodes by.
    static QString SortKey(int order);
    // Where the orphans' group stands among the top-level objects.
    static constexpr int OrphansOrder = 65534;

private:
    void Place(int rootId, QVector<int> *into);
    void CollectUnits(const CatalogObject &object, QVector<UnitChannels> *units) const;
    QVector<StationChannels> FindStations() const;

    QVector<CatalogObject> objects; // one per id, in table order
    QHash<int, int> indexOfId;
    QHash<int, QVector<int>> childIds; // by parent id, in display order
    QVector<int> topLevel;
    QVector<int> orphans;
    QHash<int, bool> placed;
    int duplicates = 0;
    QVector<StationChannels> stations;
};
