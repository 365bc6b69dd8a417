#pragma once

#include "plant/PlantData.h"
#include "plant/PlantSource.h"
#include "plant/PlantStatus.h"

#include <QStringList>

namespace q7rk {

// The whole-roll records of the plant page: the serial and grade lists, opening,
// saving and deleting a foil. Each call is one operation on a connection of its own; a
// call that fails changes nothing and says why.
class FoilRecords {
public:
    explicit FoilRecords(PlantSource source = PlantSource());

    // Serial numbers containing `filter` (trimmed; empty lists all), trimmed, in the order
    // the server gives them. Wildcard characters in the filter match themselves.
    PlantReply<QStringList> listSerials(const QString& filter) const;
    // Every grade of Criterion, trimmed, in table order.
    PlantReply<QStringList> listGrades() const;
    // Whether Criterion holds the trimmed grade.
    PlantReply<bool> hasGrade(const QString& grade) const;
    // Adds the trimmed grade to Criterion.
    PlantStatus addGrade(const QString& grade) const;

    // The whole-roll row of the trimmed serial (Null columns as empty texts, numbers in
    // plain notation), the foil's pieces as the grid shows them and its stored curves.
    PlantReply<OpenedFoil> open(const QString& serial) const;

    // Inserts the record with ProDate `today` ("yyyy/MM/dd"), Pace 1000 and Conner "OQC",
    // or, when the serial has a row already, updates it and leaves those three as they
    // are. Returns true when a row was inserted.
    PlantReply<bool> save(const FoilRecord& foil, QDate today) const;

    // Deletes the foil's whole-roll row, pieces and curves, all or nothing.
    PlantStatus remove(const QString& serial) const;

private:
    PlantSource m_source;
};

} // namespace q7rk
