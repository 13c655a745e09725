#include <gtest/gtest.h>

#include <cstdio>

#include "testing/test_env.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::printf("[ adapter  ] %s\n", hs::testing::AdapterName());
  return RUN_ALL_TESTS();
}
