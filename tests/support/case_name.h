#pragma once

#include <gtest/gtest.h>

#include <string>

namespace vantorel::testing_support {

// Names a parameterised case after the "name" member of its row.
struct CaseName {
    template <typename Row>
    std::string operator()(const testing::TestParamInfo<Row>& row) const {
        return row.param.name;
    }
};

}  // namespace vantorel::testing_support
