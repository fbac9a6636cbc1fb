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
    auto square = CRuntimeClass::CreateObject("TestSquare");
    ASSERT_NE(square, nullptr);
    EXPECT_EQ(square->GetRuntimeClass(), RUNTIME_CLASS(TestSquare));
    EXPECT_EQ(dynamic_cast<TestSquare&>(*square).sides, 4);
    EXPECT_TRUE(square->IsKindOf(RUNTIME_CLASS(TestShape)));
    EXPECT_TRUE(square->IsKindOf(RUNTIME_CLASS(CObject)));

    EXPECT_EQ(CRuntimeClass::CreateObject("NoSuchClass"), nullptr);
    EXPECT_EQ(CRuntimeClass::CreateObject("testsquare"), nullptr) << "names are exact";
    EXPECT_EQ(RUNTIME_CLASS(CObject)->CreateObject(), nullptr);
    TestShape shape;
    EXPECT_FALSE(shape.IsKindOf(RUNTIME_CLASS(TestSquare)));
}

} // namespace
