#include "picture/Png.h"

#include <gtest/gtest.h>
