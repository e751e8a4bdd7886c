#include "store/model/PLRLayoutDocument.h"

#include <gtest/gtest.h>

namespace {

template <class M>
M roundTrip(const M& message)
{
    bool ok = false;
    M back = plr::messageFromData<M>(plr::data(message), &ok);
    EXPECT_TRUE(ok);
    return back;
}

template <class M>
void expectSame(const M& a, const M& b)
{
    EXPECT_EQ(a.SerializeAsString(), b.SerializeAsString());
    EXPECT_EQ(a.DebugString(), b.DebugString());
}

PLRPosition position(float x, float y, float width, PLRPosition::Alignment alignment = PLRPosition::CENTRE)
{
    PLRPosition p;
    p.set_x(x);
    p.set_y(y);
    p.set_width(width);
    p.set_alignment(alignment);
    return p;
}

} // namespace

TEST(LayoutDocument, EveryMessageSurvivesBytes)
{
    PLRLayout layout;
    layout.set_padding(-7);
    layout.set_present_lightbox(true);
    PLRColour* colour = layout.mutable_background_colour();
    colour->set_r(1.5f);
    colour->set_g(254.f);
    colour->set_b(0.25f);
    colour->set_a(128.f);
    layout.mutable_pinterest_button()->set_style(PLRLayout_Pinterest::LARGE);
    layout.mutable_pinterest_button()->set_position(PLRLayout_Pinterest::BOTTOMRIGHT);
    layout.mutable_facebook_button()->set_post_url("https://example.com/p");
    layout.mutable_facebook_button()->set_facebook_id("fb-1");
    layout.mutable_animation()->set_move_in_edge(PLRLayout_Animation::BOTTOM);
    layout.mutable_animation()->set_fade(true);
    layout.mutable_animation()->set_speed(PLRLayout_Animation::FAST);

    PLRSection* stacked = layout.add_sections();
    stacked->mutable_stacked();
    layout.add_sections()->mutable_mason();
    layout.add_sections()->mutable_grid();
    layout.add_sections()->mutable_flow();
    layout.add_sections()->mutable_free();

    PLRBlock* image = stacked->add_blocks();
    image->set_id("b1");
    image->set_aspect_ratio(0.75f);
    image->mutable_image()->set_img_ref("IMG-1");
    image->mutable_image()->set_source_last_updated("1700000000");
    *image->mutable_image()->mutable_position() = position(0.1f, 0.2f, 0.9f, PLRPosition::JUSTIFY);
    image->mutable_image()->mutable_interaction()->set_type(PLRInteraction::HREF);
    image->mutable_image()->mutable_interaction()->set_href("https://example.com");
    image->mutable_image()->mutable_interaction()->set_open_in_new_tab(true);

    PLRBlock* text = stacked->add_blocks();
    text->mutable_text()->set_value("Grüße – “plain” text");
    text->mutable_text()->set_style(PLRBlock_Text::HEADER3);
    *text->mutable_text()->mutable_position() = position(0, 0, 0.5f, PLRPosition::RIGHT);

    PLRBlock* button = stacked->add_blocks();
    PLRBlock_Download_Button* download = button->mutable_download_button();
    download->set_title("Get it");
    download->set_fill_colour(PLRBlock_Download_Button::WHITE);
    download->set_hover_fill_colour(PLRBlock_Download_Button::NONE);
    download->set_line_colour(PLRBlock_Download_Button::GREY);
    download->set_hover_line_colour(PLRBlock_Download_Button::BLACK);
    download->set_style(PLRBlock_Download_Button::PILL);
    download->set_size(PLRBlock_Download_Button::LARGE);

    PLRBlock* container = stacked->add_blocks();
    container->mutable_container()->set_vert(true);
    container->mutable_container()->add_sub_blocks()->mutable_blank();
    container->mutable_container()->add_sub_blocks()->mutable_container()->add_sub_blocks()->mutable_image()->set_img_ref("deep");

    expectSame(layout, roundTrip(layout));
    for (const PLRSection& section : layout.sections())
        expectSame(section, roundTrip(section));
    for (const PLRBlock& block : stacked->blocks())
        expectSame(block, roundTrip(block));
    expectSame(*colour, roundTrip(*colour));
    expectSame(image->image().position(), roundTrip(image->image().position()));
    expectSame(image->image().interaction(), roundTrip(image->image().interaction()));
    PLRPadding padding;
    padding.set_horizontal(4);
    padding.set_vertical(8);
    expectSame(padding, roundTrip(padding));
    expectSame(layout.animation(), roundTrip(layout.animation()));
    expectSame(layout.facebook_button(), roundTrip(layout.facebook_button()));
    expectSame(layout.pinterest_button(), roundTrip(layout.pinterest_button()));

    const PLRLayout back = roundTrip(layout);
    EXPECT_EQ(back.sections(1).type_case(), PLRSection::kMason);
    EXPECT_EQ(back.sections(4).type_case(), PLRSection::kFree);
    EXPECT_EQ(back.sections(0).blocks(1).text().value(), "Grüße – “plain” text");
}

TEST(LayoutDocument, KindCodesAndContainerOfOtherKinds)
{
    PLRBlock block;
    EXPECT_EQ(plr::typeOneOfCase(block), 0);
    block.mutable_container()->add_sub_blocks();
    EXPECT_EQ(plr::typeOneOfCase(block), 4);
    EXPECT_EQ(plr::subBlocksArray_Count(block), 1);
    block.mutable_image();
    EXPECT_EQ(plr::typeOneOfCase(block), 5);
    // Another kind replaces the container; reading it gives an empty one.
    EXPECT_EQ(plr::subBlocksArray_Count(block), 0);
    EXPECT_FALSE(plr::container(block).vert());
    block.mutable_text();
    EXPECT_EQ(plr::typeOneOfCase(block), 6);
    block.mutable_blank();
    EXPECT_EQ(plr::typeOneOfCase(block), 7);
    block.mutable_download_button();
    EXPECT_EQ(plr::typeOneOfCase(block), 9);
}

TEST(LayoutDocument, SettingNoneClearsAndCopiesAreDeep)
{
    PLRLayout layout;
    PLRColour colour;
    colour.set_g(9);
    plr::setBackgroundColour(&layout, &colour);
    PLRLayout_Animation animation;
    animation.set_fade(true);
    plr::setAnimation(&layout, &animation);
    EXPECT_TRUE(layout.has_background_colour());
    EXPECT_TRUE(layout.has_animation());
    plr::setBackgroundColour(&layout, nullptr);
    plr::setAnimation(&layout, nullptr);
    plr::setPinterestButton(&layout, nullptr);
    EXPECT_FALSE(layout.has_background_colour());
    EXPECT_FALSE(layout.has_animation());
    EXPECT_FALSE(layout.has_pinterest_button());
    // A cleared field does not come back through bytes.
    EXPECT_FALSE(plr::messageFromData<PLRLayout>(plr::data(layout)).has_animation());

    PLRBlock_Image image;
    const PLRPosition crop = position(0.1f, 0.2f, 0.3f);
    plr::setPosition(&image, &crop);
    EXPECT_TRUE(image.has_position());
    plr::setPosition(&image, nullptr);
    plr::setInteraction(&image, nullptr);
    EXPECT_FALSE(image.has_position());
    EXPECT_FALSE(image.has_interaction());

    PLRSection section;
    PLRBlock block;
    block.mutable_container()->add_sub_blocks()->mutable_image()->set_img_ref("a");
    plr::setBlocksArray(&section, {block, block});
    plr::setSectionsArray(&layout, {section});
    PLRLayout copy = plr::copy(layout);
    copy.mutable_sections(0)->mutable_blocks(0)->mutable_container()->mutable_sub_blocks(0)->mutable_image()->set_img_ref("b");
    EXPECT_EQ(layout.sections(0).blocks(0).container().sub_blocks(0).image().img_ref(), "a");
    EXPECT_EQ(plr::blocksArray_Count(layout.sections(0)), 2);
    EXPECT_EQ(plr::sectionsArray(layout).size(), 1);
}

TEST(LayoutDocument, BadBytesAreRefusedAndPositionsCompareXYWidth)
{
    PLRLayout layout;
    layout.set_padding(5);
    platform::Error error;
    EXPECT_FALSE(plr::parseFromData(&layout, QByteArray("\xff\xff\xff\xff", 4), &error));
    EXPECT_TRUE(error.isValid());
    EXPECT_EQ(layout.padding(), 0);   // left cleared, never half-parsed
    bool ok = true;
    plr::messageFromData<PLRLayout>(QByteArray::fromHex("0a05"), &ok);   // truncated section
    EXPECT_FALSE(ok);
    // Empty bytes are an empty document.
    plr::messageFromData<PLRLayout>(QByteArray(), &ok);
    EXPECT_TRUE(ok);

    EXPECT_TRUE(plr::positionsEqual(position(1, 2, 3, PLRPosition::LEFT), position(1, 2, 3, PLRPosition::RIGHT)));
    EXPECT_FALSE(plr::positionsEqual(position(1, 2, 3), position(1, 2, 4)));
}
