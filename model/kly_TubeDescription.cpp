#include "klystron/model/kly_TubeDescription.h"

bool kly_TubeDescription::operator==(const kly_TubeDescription&) const = default;
