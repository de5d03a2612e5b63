#include "picture/Heif.h"

#include <gtest/gtest.h>
