#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "KitbeatDoc.h"
#include "Relink.h"

namespace zumbel {
namespace {

// A set with `groups` groups; group g holds "g<g>/<e>.wav" for e = 0..entries-1.
CKitbeatDoc makeSet(int groups, int entries) {
  CKitbeatDoc doc;
  doc.OnNewDocument();
  for (int g = 0; g < groups; ++g) {
    doc.appendGroup("Group " + std::to_string(g));
    for (int e = 0; e < entries; ++e) doc.appendSample(g, "g" + std::to_string(g) + "/" + std::to_string(e) + ".wav");
  }
  return doc;
}

std::string pathOf(const CKitbeatDoc& doc, int n, int layer) {
  return std::string(doc.samplePath(doc.sound(n).refs[layer]).value_or("<none>"));
}

TEST(Groups, AppendingStopsAtSixteen) {
  CKitbeatDoc doc = makeSet(15, 0);
  EXPECT_EQ(doc.appendGroup("sixteenth"), 15);
  EXPECT_EQ(doc.appendGroup("seventeenth"), -1);
  EXPECT_EQ(doc.groupCount(), 16);
  EXPECT_EQ(doc.groupName(15), "sixteenth");
  EXPECT_EQ(doc.groupSize(15), 0);
}

TEST(Groups, DeletingAMiddleGroupRenumbersLaterReferences) {
  CKitbeatDoc doc = makeSet(3, 6);
  doc.AssignSample(0, 0, SampleRef{2, 5});
  doc.AssignSample(1, 0, SampleRef{0, 1});
  doc.AssignSample(1, 2, SampleRef{1, 3});
  doc.AssignSample(3, 0, SampleRef{1, 0});
  const std::string kept = pathOf(doc, 0, 0);

  std::vector<std::pair<int, int>> cleared;
  const int current = doc.DeleteGroup(1, [&](int n, int j) { cleared.emplace_back(n, j); });

  EXPECT_EQ(current, 0);
  EXPECT_TRUE(doc.IsModified());
  ASSERT_EQ(doc.groupCount(), 2);
  EXPECT_EQ(doc.groupName(1), "Group 2");
  EXPECT_EQ(doc.sound(0).refs[0], (SampleRef{1, 5}));
  EXPECT_EQ(pathOf(doc, 0, 0), kept);
  EXPECT_EQ(doc.sound(1).refs[2], kNoSample);
  EXPECT_EQ(doc.sound(1).sources[2], 0);
  EXPECT_TRUE(doc.sound(3).isEmpty());
  EXPECT_EQ(cleared, (std::vector<std::pair<int, int>>{{3, 0}, {1, 2}}));  // entry order
}

TEST(Groups, EveryLayerThatLosesItsOwnSampleIsReported) {
  // Layer 0 comes from the deleted group, layer 2 from another: emptying the sound silences both,
  // so the view must hear about both voices.
  CKitbeatDoc doc = makeSet(2, 3);
  doc.AssignSample(0, 0, SampleRef{0, 0});
  doc.AssignSample(0, 2, SampleRef{1, 0});
  doc.AssignSample(1, 0, SampleRef{1, 1});
  doc.AssignSample(1, 3, SampleRef{0, 2});
  std::vector<std::pair<int, int>> cleared;
  doc.DeleteGroup(0, [&](int n, int j) { cleared.emplace_back(n, j); });
  EXPECT_EQ(cleared, (std::vector<std::pair<int, int>>{{0, 0}, {0, 2}, {1, 3}}));
  EXPECT_TRUE(doc.sound(0).isEmpty());
  EXPECT_EQ(doc.sound(1).refs[0], (SampleRef{0, 1}));

  cleared.clear();
  doc.RemoveSampleFromGroup(0, 1, [&](int n, int j) { cleared.emplace_back(n, j); });
  EXPECT_EQ(cleared, (std::vector<std::pair<int, int>>{{1, 0}}));

  // Sources as a file may hold them: layer 2 still counts as owning after its sample is gone
  // (its louder neighbour points at it), yet its voice must be released.
  CKitbeatDoc odd = makeSet(2, 2);
  Sound& s = odd.sound(5);
  const int sources[kLayerCount] = {0, 2, 2, 3, 4};
  for (int k = 0; k < kLayerCount; ++k) {
    s.sources[k] = sources[k];
    s.refs[k] = SampleRef{1, 0};
  }
  s.refs[2] = SampleRef{0, 1};
  cleared.clear();
  odd.DeleteGroup(0, [&](int n, int j) { cleared.emplace_back(n, j); });
  EXPECT_EQ(cleared, (std::vector<std::pair<int, int>>{{5, 2}}));
  EXPECT_EQ(s.refs[2], kNoSample);
}

TEST(Groups, DeletingTheFirstOrOnlyGroup) {
  CKitbeatDoc doc = makeSet(2, 2);
  doc.AssignSample(0, 0, SampleRef{1, 1});
  EXPECT_EQ(doc.DeleteGroup(0), 0);
  EXPECT_EQ(doc.groupName(0), "Group 1");
  EXPECT_EQ(doc.sound(0).refs[0], (SampleRef{0, 1}));

  EXPECT_EQ(doc.DeleteGroup(0), 0);
  EXPECT_EQ(doc.groupCount(), 0);
  EXPECT_TRUE(doc.groupList(0).empty());
  EXPECT_TRUE(doc.sound(0).isEmpty());
  // Nothing to delete: the set stays as it is.
  doc.SetModifiedFlag(false);
  doc.DeleteGroup(0);
  EXPECT_FALSE(doc.IsModified());
}

TEST(Groups, DeletingAGroupAlsoDropsReferencesPastItsList) {
  // A file may point past the end of a group's list; such a reference must not slide into the
  // group that moves up.
  CKitbeatDoc doc = makeSet(3, 2);
  doc.sound(8).refs[0] = SampleRef{1, 40};
  doc.sound(8).sources[0] = 0;
  doc.DeleteGroup(1);
  EXPECT_EQ(doc.sound(8).refs[0], kNoSample);
  EXPECT_TRUE(doc.sound(8).isEmpty());
}

TEST(Groups, RemovingAnEntryKeepsLaterLayersOnTheirFiles) {
  CKitbeatDoc doc = makeSet(2, 5);
  doc.AssignSample(0, 0, SampleRef{0, 3});
  doc.AssignSample(0, 1, SampleRef{0, 4});
  doc.AssignSample(1, 0, SampleRef{0, 2});
  doc.AssignSample(1, 1, SampleRef{1, 4});
  doc.AssignSample(2, 0, SampleRef{0, 0});
  doc.AssignSample(2, 4, SampleRef{0, 2});

  doc.RemoveSampleFromGroup(0, 2);
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(doc.groupSize(0), 4);
  EXPECT_EQ(doc.sound(0).refs[0], (SampleRef{0, 2}));
  EXPECT_EQ(doc.sound(0).refs[1], (SampleRef{0, 3}));
  EXPECT_EQ(pathOf(doc, 0, 0), "g0/3.wav");
  EXPECT_EQ(pathOf(doc, 0, 1), "g0/4.wav");
  // Layer 0 used it: the whole sound is empty, including its other layers.
  EXPECT_TRUE(doc.sound(1).isEmpty());
  EXPECT_EQ(doc.sound(1).refs[1], kNoSample);
  // A louder layer stays; the removed layer's band plays it again.
  EXPECT_EQ(doc.sound(2).sources[4], 0);
  EXPECT_EQ(doc.sound(2).refs[4], kNoSample);
}

TEST(Groups, DroppingUnlocatedEntriesRenumbersTheRest) {
  CKitbeatDoc doc = makeSet(1, 5);
  doc.AssignSample(0, 0, SampleRef{0, 4});
  doc.AssignSample(1, 0, SampleRef{0, 2});
  doc.AssignSample(2, 0, SampleRef{0, 3});
  doc.DropPoolEntries(0, {2});
  EXPECT_EQ(doc.groupSize(0), 4);
  EXPECT_EQ(doc.sound(0).refs[0], (SampleRef{0, 3}));
  EXPECT_EQ(pathOf(doc, 0, 0), "g0/4.wav");
  EXPECT_TRUE(doc.sound(1).isEmpty());
  EXPECT_FALSE(doc.IsModified());

  CKitbeatDoc two = makeSet(1, 5);
  two.AssignSample(0, 0, SampleRef{0, 2});
  two.AssignSample(0, 1, SampleRef{0, 4});
  two.DropPoolEntries(0, {3, 1, 3, 99});
  EXPECT_EQ(two.groupSize(0), 3);
  EXPECT_EQ(two.groupList(0)[1], "g0/2.wav");
  EXPECT_EQ(two.sound(0).refs[0], (SampleRef{0, 1}));
  EXPECT_EQ(two.sound(0).refs[1], (SampleRef{0, 2}));
}

TEST(Relink, UpdatesMovedPathsAndDropsTheOnesGivenUp) {
  CKitbeatDoc doc = makeSet(2, 200);
  doc.AssignSample(0, 0, SampleRef{1, 199});
  doc.AssignSample(1, 0, SampleRef{1, 150});
  doc.AssignSample(2, 0, SampleRef{0, 7});
  // Group 1 loses 150 entries at once: more than any fixed-size table would hold.
  std::vector<std::string> asked;
  RelinkSamplePool(doc, [&](const std::string& stored) -> std::string {
    asked.push_back(stored);
    if (stored == "g0/7.wav") return "/new/7.wav";
    if (stored.starts_with("g1/") && std::stoi(stored.substr(3)) < 150) return kNotLocatedMarker;
    return stored;
  });
  EXPECT_EQ(asked.size(), 400u);
  EXPECT_EQ(asked.front(), "g0/0.wav");
  EXPECT_EQ(asked.back(), "g1/199.wav");
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(doc.groupSize(0), 200);
  EXPECT_EQ(doc.groupSize(1), 50);
  EXPECT_EQ(pathOf(doc, 2, 0), "/new/7.wav");
  EXPECT_EQ(doc.sound(0).refs[0], (SampleRef{1, 49}));
  EXPECT_EQ(pathOf(doc, 0, 0), "g1/199.wav");
  EXPECT_EQ(pathOf(doc, 1, 0), "g1/150.wav");
}

TEST(Relink, ASetWhoseFilesAllResolveIsUnchanged) {
  CKitbeatDoc doc = makeSet(3, 4);
  doc.AssignSample(0, 0, SampleRef{2, 3});
  const DrumSetContent before = doc.content();
  RelinkSamplePool(doc, [](const std::string& stored) { return stored; });
  EXPECT_EQ(doc.content(), before);
}

}  // namespace
}  // namespace zumbel
