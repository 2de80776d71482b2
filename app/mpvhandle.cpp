#include "mpvhandle.h"

#include <QCoreApplication>

#include <mpv/client.h>

#include <clocale>

#include <deque>
#include <vector>

namespace velmora {

namespace {

// libmpv reads and writes numbers in the C locale only and refuses to start
// under another. Qt sets the user's locale as the application is made; this
// runs right after, before any thread that reads numbers exists.
void useCNumbers()
{
    std::setlocale(LC_NUMERIC, "C");
}
Q_COREAPP_STARTUP_FUNCTION(useCNumbers)

// A Qt value as libmpv's node, with everything the node points to kept
// alive for as long as this object lives.
class Node
{
public:
    explicit Node(const QVariant &value) { fill(m_root, value); }
    mpv_node *get() { return &m_root; }

private:
    void fill(mpv_node &node, const QVariant &value)
    {
        switch (value.typeId()) {
        case QMetaType::Bool:
            node.format = MPV_FORMAT_FLAG;
            node.u.flag = value.toBool();
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            node.format = MPV_FORMAT_INT64;
            node.u.int64 = value.toLongLong();
            break;
        case QMetaType::Double:
            node.format = MPV_FORMAT_DOUBLE;
            node.u.double_ = value.toDouble();
            break;
        case QMetaType::QVariantList:
        case QMetaType::QStringList:
            fillList(node, MPV_FORMAT_NODE_ARRAY, value.toList(), {});
            break;
        case QMetaType::QVariantMap: {
            const QVariantMap map = value.toMap();
            fillList(node, MPV_FORMAT_NODE_MAP, map.values(), map.keys());
            break;
        }
        default:
            node.format = MPV_FORMAT_STRING;
            node.u.string = keep(value.toString().toUtf8());
            break;
        }
    }

    void fillList(mpv_node &node, mpv_format format, const QVariantList &values,
                  const QStringList &keys)
    {
        std::vector<mpv_node> &nodes = m_nodes.emplace_back(values.size());
        for (qsizetype i = 0; i < values.size(); ++i)
            fill(nodes[i], values[i]);
        std::vector<char *> &names = m_keys.emplace_back();
        for (const QString &key : keys)
            names.push_back(keep(key.toUtf8()));
        mpv_node_list &list = m_lists.emplace_back();
        list.num = int(values.size());
        list.values = nodes.data();
        list.keys = keys.isEmpty() ? nullptr : names.data();
        node.format = format;
        node.u.list = &list;
    }

    char *keep(QByteArray text) { return m_strings.emplace_back(std::move(text)).data(); }

    mpv_node m_root{};
    // Deques: what is added never moves what is there.
    std::deque<QByteArray> m_strings;
    std::deque<std::vector<mpv_node>> m_nodes;
    std::deque<std::vector<char *>> m_keys;
    std::deque<mpv_node_list> m_lists;
};

} // namespace

QString MpvResult::error() const
{
    return QString::fromUtf8(mpv_error_string(status));
}

MpvHandle::MpvHandle() : m_mpv(mpv_create()) {}

MpvHandle::~MpvHandle()
{
    reset();
}

void MpvHandle::reset()
{
    if (m_mpv)
        mpv_terminate_destroy(std::exchange(m_mpv, nullptr));
}

MpvResult MpvHandle::setOption(const char *name, const QVariant &value)
{
    Node node(value);
    return MpvResult{m_mpv ? mpv_set_option(m_mpv, name, MPV_FORMAT_NODE, node.get())
                           : MPV_ERROR_UNINITIALIZED};
}

MpvResult MpvHandle::initialize()
{
    return MpvResult{m_mpv ? mpv_initialize(m_mpv) : MPV_ERROR_UNINITIALIZED};
}

MpvResult MpvHandle::command(const QVariantMap &command, quint64 reply)
{
    Node node(command);
    return MpvResult{m_mpv ? mpv_command_node_async(m_mpv, reply, node.get())
                           : MPV_ERROR_UNINITIALIZED};
}

MpvResult MpvHandle::setProperty(const char *name, const QVariant &value)
{
    Node node(value);
    return MpvResult{m_mpv ? mpv_set_property_async(m_mpv, 0, name, MPV_FORMAT_NODE, node.get())
                           : MPV_ERROR_UNINITIALIZED};
}

} // namespace velmora
