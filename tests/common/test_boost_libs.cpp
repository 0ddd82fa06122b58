// The compiled Boost libraries of the cross build link and work: threads
// with timed condition waits, and XML input archives.
#include <gtest/gtest.h>

#include <boost/archive/xml_iarchive.hpp>
#include <boost/serialization/nvp.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/vector.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include <sstream>
#include <string>
#include <vector>

namespace {

struct Item {
    std::string name;
    std::vector<int> rect;

    template <class Archive>
    void serialize(Archive& ar, unsigned int)
    {
        ar& BOOST_SERIALIZATION_NVP(name);
        ar& BOOST_SERIALIZATION_NVP(rect);
    }
};

} // namespace

TEST(BoostLibs, ThreadSignalsThroughAConditionWithATimedWait)
{
    boost::mutex mutex;
    boost::condition_variable ready;
    bool done = false;
    boost::thread worker([&] {
        boost::lock_guard<boost::mutex> lock(mutex);
        done = true;
        ready.notify_one();
    });
    {
        boost::unique_lock<boost::mutex> lock(mutex);
        EXPECT_TRUE(ready.wait_for(lock, boost::chrono::seconds(10), [&] { return done; }));
    }
    worker.join();
}

TEST(BoostLibs, XmlInputArchiveReadsNamedValues)
{
    std::istringstream xml(
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n"
        "<!DOCTYPE boost_serialization>\n"
        "<boost_serialization signature=\"serialization::archive\" version=\"17\">\n"
        "<item class_id=\"0\" tracking_level=\"0\" version=\"0\">\n"
        "  <name>play</name>\n"
        "  <rect><count>4</count><item_version>0</item_version>"
        "<item>1</item><item>2</item><item>30</item><item>40</item></rect>\n"
        "</item>\n"
        "</boost_serialization>\n");
    Item item;
    boost::archive::xml_iarchive archive(xml);
    archive >> boost::serialization::make_nvp("item", item);
    EXPECT_EQ(item.name, "play");
    EXPECT_EQ(item.rect, (std::vector<int>{1, 2, 30, 40}));
}
