// Between Newton solutions the adjustable devices move towards their
// bands; a device that reverses direction within one solution is hunting
// around a band narrower than its step and stays where it is.
#pragma once

namespace velquin::sim::loadflow {

inline int direction_of(double x) {
    return x > 0.0 ? 1 : (x < 0.0 ? -1 : 0);
}

// Records a move in `direction`; false when the device is locked or this
// move would reverse its last one (it is then locked).
inline bool accept_direction(int& last, bool& locked, int direction) {
    if (locked) return false;
    if (last != 0 && direction != last) {
        locked = true;
        return false;
    }
    last = direction;
    return true;
}

}  // namespace velquin::sim::loadflow
