#pragma once

#include "platform/twips.h"

#include <QWidget>

#include <algorithm>
#include <initializer_list>

namespace quillon {

// One control of a row laid out in twips.
struct RowPlace {
    QWidget* widget;
    int left;         // twips
    int width;        // twips
    int neededPx = 0; // what its text needs in this font; 0 keeps the twips width
};

// Each control keeps its place unless the one before it needs the room: a caption
// wider in this font than its twips width pushes the rest of the row right rather
// than being cut. Returns the first free pixel after the row.
inline int placeRow(std::initializer_list<RowPlace> row, int top, int height, const QWidget* ref,
                    int gapTwips) {
    int nextFree = 0;
    for (const RowPlace& place : row) {
        const int width = std::max(twips(place.width, ref), place.neededPx);
        const int left = std::max(twips(place.left, ref), nextFree);
        place.widget->setGeometry(left, twips(top, ref), width, twips(height, ref));
        nextFree = left + width + twips(gapTwips, ref);
    }
    return nextFree;
}

} // namespace quillon
