#include "platform/classlib/CObject.h"

#include <gtest/gtest.h>

namespace {

class TestShape : public CObject {
    QUILLON_DECLARE_SERIAL(TestShape)
public:
    int sides = 3;
};
QUILLON_IMPLEMENT_SERIAL(TestShape, CObject, 1)

class TestSquare : public TestShape {
    QUILLON_DECLARE_SERIAL(TestSquare)
public:
    TestSquare() { sides = 4; }
};
QUILLON_IMPLEMENT_SERIAL(TestSquare, TestShape, 1)

TEST(CRuntimeClassTest, CreatesRegisteredClassesByExactNameOnly) {
    const auto square = CRuntimeClass::CreateObject("TestSquare");
    ASSERT_NE(square, nullptr);
    EXPECT_EQ(dynamic_cast<TestSquare&>(*square).sides, 4);
    EXPECT_TRUE(square->IsKindOf(RUNTIME_CLASS(TestShape)));
    EXPECT_FALSE(TestShape().IsKindOf(RUNTIME_CLASS(TestSquare)));
    for (const char* name : {"NoSuchClass", "testsquare"}) {
        EXPECT_EQ(CRuntimeClass::CreateObject(name), nullptr) << name;
    }
    EXPECT_EQ(RUNTIME_CLASS(CObject)->CreateObject(), nullptr);
}

} // namespace
