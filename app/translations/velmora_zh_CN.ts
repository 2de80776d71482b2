<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>velmora::causes</name>
    <message>
        <source>timed out: nothing received for %1 s</source>
        <translation>请求超时：%1 秒内没有收到任何数据</translation>
    </message>
    <message>
        <source>timed out: no complete answer within %1 s</source>
        <translation>请求超时：%1 秒内没有收到完整的应答</translation>
    </message>
    <message>
        <source>answer too large: over %1 bytes</source>
        <translation>应答过大：超过 %1 字节</translation>
    </message>
    <message>
        <source>TLS handshake failed: %1</source>
        <translation>TLS 握手失败：%1</translation>
    </message>
    <message>
        <source>the answer is empty</source>
        <translation>应答为空</translation>
    </message>
    <message>
        <source>the answer is not JSON (%1 at offset %2)</source>
        <translation>应答不是 JSON（位置 %2：%1）</translation>
    </message>
    <message>
        <source>the answer has no members</source>
        <translation>应答中没有任何成员</translation>
    </message>
    <message>
        <source>the answer has no %1</source>
        <translation>应答中没有 %1</translation>
    </message>
    <message>
        <source>the answer has no audio address (track name &quot;%1&quot;)</source>
        <translation>应答中没有音频地址（歌曲名称“%1”）</translation>
    </message>
    <message>
        <source>the answer has neither an audio address nor a track name</source>
        <translation>应答中既没有音频地址也没有歌曲名称</translation>
    </message>
    <message>
        <source>HTTP %1: %2</source>
        <translation>HTTP %1：%2</translation>
    </message>
    <message>
        <source>not an http or https address</source>
        <translation>不是 http 或 https 地址</translation>
    </message>
    <message>
        <source>%1 exists already</source>
        <translation>%1 已存在</translation>
    </message>
    <message>
        <source>another save is writing %1</source>
        <translation>另一个保存正在写入 %1</translation>
    </message>
    <message>
        <source>not audio: the server sent a web page</source>
        <translation>不是音频：服务器返回的是网页</translation>
    </message>
    <message>
        <source>file too large: over %1 bytes</source>
        <translation>文件过大：超过 %1 字节</translation>
    </message>
    <message>
        <source>the server answered HTTP %1</source>
        <translation>服务器返回 HTTP %1</translation>
    </message>
    <message>
        <source>the file is gone (HTTP %1)</source>
        <translation>文件已不存在（HTTP %1）</translation>
    </message>
    <message>
        <source>incomplete: %1 of %2 bytes</source>
        <translation>文件不完整：%1 / %2 字节</translation>
    </message>
    <message>
        <source>could not write %1: %2</source>
        <translation>无法写入 %1：%2</translation>
    </message>
    <message>
        <source>the folder is missing or not writable</source>
        <translation>文件夹不存在或不可写</translation>
    </message>
    <message>
        <source>gave up after %1 attempts: %2</source>
        <translation>尝试 %1 次后放弃：%2</translation>
    </message>
    <message>
        <source>&apos;%1&apos; is not a name Windows allows for a file or folder</source>
        <translation>“%1”不是 Windows 允许的文件或文件夹名称</translation>
    </message>
    <message>
        <source>no such file</source>
        <translation>文件不存在</translation>
    </message>
    <message>
        <source>it is a folder</source>
        <translation>这是一个文件夹</translation>
    </message>
    <message>
        <source>no permission to read it, or it is in use</source>
        <translation>没有读取权限，或文件正被占用</translation>
    </message>
    <message>
        <source>no permission to write it, or it is in use</source>
        <translation>没有写入权限，或文件正被占用</translation>
    </message>
    <message>
        <source>the disk took no more: it is full, or the file is over a size limit</source>
        <translation>磁盘无法再写入：磁盘已满，或文件超过大小限制</translation>
    </message>
    <message>
        <source>connection refused</source>
        <translation>连接被拒绝</translation>
    </message>
    <message>
        <source>the proxy failed</source>
        <translation>代理服务器出错</translation>
    </message>
    <message>
        <source>host not found</source>
        <translation>找不到主机</translation>
    </message>
    <message>
        <source>timed out</source>
        <translation>请求超时</translation>
    </message>
    <message>
        <source>redirect refused</source>
        <translation>已拒绝重定向</translation>
    </message>
    <message>
        <source>connection closed before the answer was complete</source>
        <translation>应答完整之前连接已关闭</translation>
    </message>
    <message>
        <source>request failed</source>
        <translation>请求失败</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1（%2）</translation>
    </message>
</context>
</TS>
