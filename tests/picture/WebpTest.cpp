#include "picture/Webp.h"

#include <gtest/gtest.h>
