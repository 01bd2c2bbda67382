// placeholder, filled next
#include <gtest/gtest.h>
