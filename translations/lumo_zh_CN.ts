<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name>AlertMail</name>
    <message>
        <source>%1 cannot be started: %2</source>
        <translation>%1 无法启动：%2</translation>
    </message>
    <message>
        <source>%1 did not end within %2 s, or crashed</source>
        <translation>%1 未在 %2 秒内结束，或已崩溃</translation>
    </message>
    <message>
        <source>%1 ended with %2: %3</source>
        <translation>%1 以 %2 结束：%3</translation>
    </message>
</context>
<context>
    <name>CMSComm</name>
    <message>
        <source>%1 can only be read</source>
        <translation>%1 只能读取</translation>
    </message>
    <message>
        <source>the port is open; close it before choosing another</source>
        <translation>端口已打开，请先关闭再选择其他端口</translation>
    </message>
    <message>
        <source>invalid property value: %1 cannot be %2</source>
        <translation>属性值无效：%1 不能为 %2</translation>
    </message>
    <message>
        <source>COM%1: invalid port number</source>
        <translation>COM%1：端口号无效</translation>
    </message>
    <message>
        <source>invalid property value: &quot;%1&quot; is not of the form speed,parity,data,stop (for example &quot;9600,n,8,1&quot;)</source>
        <translation>属性值无效：“%1”不符合“速率,校验,数据位,停止位”的格式（例如“9600,n,8,1”）</translation>
    </message>
    <message>
        <source>invalid property value: Handshaking must be 0 to 3</source>
        <translation>属性值无效：Handshaking 必须为 0 到 3</translation>
    </message>
    <message>
        <source>invalid property value: InBufferCount can only be set to 0</source>
        <translation>属性值无效：InBufferCount 只能设为 0</translation>
    </message>
    <message>
        <source>invalid property value: OutBufferCount can only be set to 0</source>
        <translation>属性值无效：OutBufferCount 只能设为 0</translation>
    </message>
    <message>
        <source>invalid property value: InputMode must be 0 (text) or 1 (binary)</source>
        <translation>属性值无效：InputMode 必须为 0（文本）或 1（二进制）</translation>
    </message>
    <message>
        <source>invalid property value: ParityReplace is one character or none</source>
        <translation>属性值无效：ParityReplace 只能是一个字符或为空</translation>
    </message>
    <message>
        <source>%1: Output can only be written</source>
        <translation>%1：Output 只能写入</translation>
    </message>
    <message>
        <source>invalid property value: the character U+%1 cannot be sent as one byte</source>
        <translation>属性值无效：字符 U+%1 无法作为一个字节发送</translation>
    </message>
    <message>
        <source>invalid property value: Output takes text or bytes</source>
        <translation>属性值无效：Output 只接受文本或字节</translation>
    </message>
    <message>
        <source>the device name</source>
        <translation>设备名</translation>
    </message>
</context>
<context>
    <name>CPortDlg</name>
    <message>
        <source>can&apos;t open serial port</source>
        <translation>无法打开串口</translation>
    </message>
</context>
<context>
    <name>CPortSettingsDlg</name>
    <message>
        <source>Ports…</source>
        <translation>端口设置…</translation>
    </message>
    <message>
        <source>Serial ports</source>
        <translation>串口设置</translation>
    </message>
    <message>
        <source>Choose the device for each port, or type its path.</source>
        <translation>请为每个端口选择设备，或输入设备路径。</translation>
    </message>
    <message>
        <source>%1 (the default)</source>
        <translation>%1（默认）</translation>
    </message>
    <message>
        <source>For this run %1 sets COM%2 to %3.</source>
        <translation>本次运行中，%1 将 COM%2 设为 %3。</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>the device name in %1</source>
        <translation>%1中的设备名</translation>
    </message>
</context>
<context>
    <name>CRemoteDlg</name>
    <message>
        <source>Phone remote…</source>
        <translation>手机遥控…</translation>
    </message>
    <message>
        <source>Phone remote</source>
        <translation>手机遥控</translation>
    </message>
    <message>
        <source>Let phones on this network use the panel</source>
        <translation>允许本网络中的手机使用面板</translation>
    </message>
    <message>
        <source>QR code of the link</source>
        <translation>链接的二维码</translation>
    </message>
    <message>
        <source>Scan the code with a phone on the same network as this PC, or open:</source>
        <translation>请用与本机在同一网络中的手机扫描二维码，或打开：</translation>
    </message>
    <message numerus="yes">
        <source>%n phone(s) connected</source>
        <translation>
            <numerusform>已连接 %n 部手机</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Campus</name>
    <message>
        <source>room %1 was taken out of the service; not sent</source>
        <translation>教室 %1 已从服务中移除；未发送</translation>
    </message>
    <message>
        <source>room %1: too many commands are waiting for its line; not sent</source>
        <translation>教室 %1：等待其线路的命令过多；未发送</translation>
    </message>
    <message>
        <source>room %1: the line was not free within %2 s; not sent</source>
        <translation>教室 %1：线路在 %2 秒内没有空闲；未发送</translation>
    </message>
</context>
<context>
    <name>CampusApi</name>
    <message>
        <source>There is no room &quot;%1&quot;.</source>
        <translation>没有教室“%1”。</translation>
    </message>
    <message>
        <source>There is no room &quot;%1&quot;. Nothing was sent.</source>
        <translation>没有教室“%1”。未发送任何命令。</translation>
    </message>
    <message>
        <source>The body is no JSON object with a list &quot;rooms&quot; or &quot;groups&quot;.</source>
        <translation>请求体不是带有列表“rooms”或“groups”的 JSON 对象。</translation>
    </message>
    <message>
        <source>There is no group &quot;%1&quot;. Nothing was sent.</source>
        <translation>没有教室组“%1”。未发送任何命令。</translation>
    </message>
</context>
<context>
    <name>CampusLogin</name>
    <message>
        <source>Log in, or give a token of the service as &quot;Authorization: Bearer TOKEN&quot;.</source>
        <translation>请登录，或以“Authorization: Bearer TOKEN”提供本服务的令牌。</translation>
    </message>
    <message>
        <source>Too many logins at once from this address. Try again in a moment.</source>
        <translation>此地址同时登录的次数过多，请稍后再试。</translation>
    </message>
    <message>
        <source>Too many logins at once. Try again in a moment.</source>
        <translation>同时登录的人数过多，请稍后再试。</translation>
    </message>
</context>
<context>
    <name>CampusPage</name>
    <message>
        <source>Lumo: every room</source>
        <translation>Lumo：所有教室</translation>
    </message>
    <message>
        <source>Lumo: log in</source>
        <translation>Lumo：登录</translation>
    </message>
    <message>
        <source>Log out</source>
        <translation>退出登录</translation>
    </message>
    <message>
        <source>Several rooms at once</source>
        <translation>多间教室一起操作</translation>
    </message>
    <message>
        <source>Command</source>
        <translation>命令</translation>
    </message>
    <message>
        <source>Send to the chosen rooms…</source>
        <translation>发送到所选教室…</translation>
    </message>
    <message>
        <source>Choose none</source>
        <translation>全不选</translation>
    </message>
    <message>
        <source>Choose all</source>
        <translation>全选</translation>
    </message>
    <message>
        <source>Yes, send</source>
        <translation>确认发送</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>%1 at %2</source>
        <translation>%1（%2）</translation>
    </message>
    <message>
        <source>No command yet</source>
        <translation>尚无命令</translation>
    </message>
    <message>
        <source>You are logged out. Log in again.</source>
        <translation>您已退出登录，请重新登录。</translation>
    </message>
    <message>
        <source>The campus service cannot be reached.</source>
        <translation>无法连接校园服务。</translation>
    </message>
    <message>
        <source>Choose at least one room.</source>
        <translation>请至少选择一间教室。</translation>
    </message>
    <message>
        <source>Sending %1 to %2 rooms…</source>
        <translation>正在向 %2 间教室发送“%1”…</translation>
    </message>
    <message>
        <source>%1: sent to %2 rooms, not sent to %3.</source>
        <translation>“%1”：已发送到 %2 间教室，%3 间未发送。</translation>
    </message>
    <message>
        <source>%1: sent</source>
        <translation>%1：已发送</translation>
    </message>
    <message>
        <source>%1: not sent: %2</source>
        <translation>%1：未发送：%2</translation>
    </message>
    <message>
        <source>Not sent: %1</source>
        <translation>未发送：%1</translation>
    </message>
    <message>
        <source>Wrong user name or password.</source>
        <translation>用户名或密码错误。</translation>
    </message>
    <message>
        <source>Too many failed logins from this address. Try again in a minute.</source>
        <translation>此地址登录失败次数过多，请一分钟后再试。</translation>
    </message>
    <message>
        <source>reachable</source>
        <translation>可用</translation>
    </message>
    <message>
        <source>in use</source>
        <translation>占用</translation>
    </message>
    <message>
        <source>unreachable</source>
        <translation>不可达</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>未知</translation>
    </message>
    <message>
        <source>Send %1 to %2 rooms: %3?</source>
        <translation>向 %2 间教室发送“%1”：%3？</translation>
    </message>
    <message>
        <source>%1 and %2 more</source>
        <translation>%1 等另外 %2 间</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>详细信息</translation>
    </message>
    <message>
        <source>This page needs JavaScript to show the rooms&apos; states and to send commands; it is switched off in this browser.</source>
        <translation>本页需要 JavaScript 才能显示教室状态和发送命令；此浏览器已将其关闭。</translation>
    </message>
    <message>
        <source>User name</source>
        <translation>用户名</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>密码</translation>
    </message>
    <message>
        <source>Log in</source>
        <translation>登录</translation>
    </message>
    <message>
        <source>Rooms</source>
        <translation>教室</translation>
    </message>
    <message>
        <source>%1 rooms</source>
        <translation>%1 间教室</translation>
    </message>
    <message>
        <source>%1 more rooms are not listed.</source>
        <translation>另有 %1 间教室未列出。</translation>
    </message>
    <message>
        <source>Show every room</source>
        <translation>显示所有教室</translation>
    </message>
    <message>
        <source>every room</source>
        <translation>所有教室</translation>
    </message>
    <message>
        <source>Sent to: %1</source>
        <translation>已发送到：%1</translation>
    </message>
    <message>
        <source>History</source>
        <translation>记录</translation>
    </message>
    <message>
        <source>The rooms&apos; controllers: their state, and commands to one room or many</source>
        <translation>各教室的中控：状态，以及发给一间或多间教室的命令</translation>
    </message>
</context>
<context>
    <name>CampusServer</name>
    <message>
        <source>%1 cannot be read: %2</source>
        <translation>无法读取 %1：%2</translation>
    </message>
    <message>
        <source>this system has no TLS library: HTTPS cannot be served</source>
        <translation>本系统没有 TLS 库：无法提供 HTTPS</translation>
    </message>
    <message>
        <source>%1 holds no certificate in PEM form</source>
        <translation>%1 中没有 PEM 格式的证书</translation>
    </message>
    <message>
        <source>%1 holds no private key in PEM form (RSA or EC, not protected by a passphrase)</source>
        <translation>%1 中没有 PEM 格式的私钥（RSA 或 EC，且未用口令保护）</translation>
    </message>
    <message>
        <source>the campus page cannot listen on %1 port %2 (listen= in [web]): %3</source>
        <translation>校园页面无法在 %1 的端口 %2 上监听（[web] 中的 listen=）：%3</translation>
    </message>
    <message>
        <source>Only GET and POST are served here.</source>
        <translation>此处只接受 GET 和 POST。</translation>
    </message>
    <message>
        <source>Log out with POST.</source>
        <translation>请用 POST 退出登录。</translation>
    </message>
    <message>
        <source>Only GET is served here.</source>
        <translation>此处只接受 GET。</translation>
    </message>
    <message>
        <source>There is no such room.</source>
        <translation>没有这间教室。</translation>
    </message>
    <message>
        <source>Not found.</source>
        <translation>未找到。</translation>
    </message>
    <message>
        <source>This service keeps no history ([history] database=off).</source>
        <translation>本服务不保存操作记录（[history] database=off）。</translation>
    </message>
</context>
<context>
    <name>CarePage</name>
    <message>
        <source>Not run yet.</source>
        <translation>尚未执行。</translation>
    </message>
    <message>
        <source>The run of %1 was missed: nothing was sent.</source>
        <translation>%1 的执行已错过：未发送任何命令。</translation>
    </message>
    <message>
        <source>Run of %1: %2 commands sent, %3 not sent.</source>
        <translation>%1 的执行：已发送 %2 条命令，%3 条未发送。</translation>
    </message>
    <message>
        <source>Choose a group:</source>
        <translation>选择教室组：</translation>
    </message>
    <message>
        <source>Schedules</source>
        <translation>定时任务</translation>
    </message>
    <message>
        <source>History: who did what, when</source>
        <translation>记录：谁在何时做了什么</translation>
    </message>
    <message>
        <source>No schedules ([schedule] in serve.conf).</source>
        <translation>没有定时任务（serve.conf 中的 [schedule]）。</translation>
    </message>
    <message>
        <source>Next run: %1</source>
        <translation>下次执行：%1</translation>
    </message>
    <message>
        <source>none</source>
        <translation>无</translation>
    </message>
    <message>
        <source>Lumo: history</source>
        <translation>Lumo：记录</translation>
    </message>
    <message>
        <source>Back to the rooms</source>
        <translation>返回教室列表</translation>
    </message>
    <message>
        <source>Room</source>
        <translation>教室</translation>
    </message>
    <message>
        <source>Group</source>
        <translation>教室组</translation>
    </message>
    <message>
        <source>From (date)</source>
        <translation>起始日期</translation>
    </message>
    <message>
        <source>To (date)</source>
        <translation>截止日期</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>显示</translation>
    </message>
    <message>
        <source>Download as CSV</source>
        <translation>下载 CSV</translation>
    </message>
    <message>
        <source>Per room</source>
        <translation>按教室汇总</translation>
    </message>
    <message>
        <source>Commands by face</source>
        <translation>各来源的命令数</translation>
    </message>
    <message>
        <source>Commands, newest first</source>
        <translation>命令（最新的在前）</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>时间</translation>
    </message>
    <message>
        <source>Command</source>
        <translation>命令</translation>
    </message>
    <message>
        <source>Who</source>
        <translation>操作者</translation>
    </message>
    <message>
        <source>From</source>
        <translation>来源</translation>
    </message>
    <message>
        <source>Outcome</source>
        <translation>结果</translation>
    </message>
    <message>
        <source>No commands found.</source>
        <translation>没有找到命令。</translation>
    </message>
    <message>
        <source>sent</source>
        <translation>已发送</translation>
    </message>
    <message>
        <source>not confirmed</source>
        <translation>未确认</translation>
    </message>
    <message>
        <source>unknown command</source>
        <translation>未知命令</translation>
    </message>
    <message>
        <source>no such room</source>
        <translation>没有这间教室</translation>
    </message>
    <message>
        <source>in use by another program</source>
        <translation>被其他程序占用</translation>
    </message>
    <message>
        <source>connection lost</source>
        <translation>连接已断开</translation>
    </message>
    <message>
        <source>controller does not respond</source>
        <translation>中控没有响应</translation>
    </message>
    <message>
        <source>too many commands waiting</source>
        <translation>等待的命令过多</translation>
    </message>
    <message>
        <source>not sent</source>
        <translation>未发送</translation>
    </message>
    <message>
        <source>missed (the service was not running)</source>
        <translation>已错过（服务未运行）</translation>
    </message>
    <message>
        <source>desktop panel</source>
        <translation>桌面面板</translation>
    </message>
    <message>
        <source>desktop (D-Bus)</source>
        <translation>桌面（D-Bus）</translation>
    </message>
    <message>
        <source>command line</source>
        <translation>命令行</translation>
    </message>
    <message>
        <source>phone remote</source>
        <translation>手机遥控</translation>
    </message>
    <message>
        <source>campus page</source>
        <translation>校园网页</translation>
    </message>
    <message>
        <source>JSON interface</source>
        <translation>JSON 接口</translation>
    </message>
    <message>
        <source>MQTT</source>
        <translation>MQTT</translation>
    </message>
    <message>
        <source>schedule</source>
        <translation>定时任务</translation>
    </message>
    <message>
        <source>idle switch-off</source>
        <translation>空闲自动关机</translation>
    </message>
    <message>
        <source>Schedules from %1 to %2</source>
        <translation>定时任务（%1 至 %2）</translation>
    </message>
    <message>
        <source>No schedule ran in this time.</source>
        <translation>这段时间内没有执行定时任务。</translation>
    </message>
    <message>
        <source>Sent: %1 · not sent: %2</source>
        <translation>已发送：%1 · 未发送：%2</translation>
    </message>
    <message>
        <source>any</source>
        <translation>全部</translation>
    </message>
    <message>
        <source>not sent only</source>
        <translation>仅未发送的</translation>
    </message>
    <message>
        <source>Room (name or ID)</source>
        <translation>教室（名称或 ID）</translation>
    </message>
    <message>
        <source>Which rooms the schedules reached, and every command sent</source>
        <translation>定时任务送达了哪些教室，以及发送过的每条命令</translation>
    </message>
    <message>
        <source>Newest</source>
        <translation>最新</translation>
    </message>
    <message>
        <source>Older</source>
        <translation>更早</translation>
    </message>
    <message>
        <source>reported by the projector</source>
        <translation>投影机自报</translation>
    </message>
    <message>
        <source>Projector hours are measured where the service watches the room&apos;s projector: from the power it reports. Elsewhere they are inferred from the projector-on and projector-off commands sent: the controller reports nothing back, so a projector switched by hand is not counted.</source>
        <translation>服务监视教室投影机的地方，投影机开机时长按投影机自己报告的电源状态实测；其他地方根据已发送的“投影机开”和“投影机关”命令推算：中控不回报设备状态，因此手动开关的投影机不计在内。</translation>
    </message>
    <message>
        <source>Projector on (hours)</source>
        <translation>投影机开机（小时）</translation>
    </message>
    <message>
        <source>measured</source>
        <translation>实测</translation>
    </message>
    <message>
        <source>inferred from commands</source>
        <translation>按命令推算</translation>
    </message>
    <message>
        <source>The history cannot be written (%1): commands are still carried out, and %2 records wait to be written.</source>
        <translation>历史记录无法写入（%1）：命令照常执行，%2 条记录等待写入。</translation>
    </message>
    <message>
        <source>%1 records could not be kept.</source>
        <translation>%1 条记录未能保存。</translation>
    </message>
    <message>
        <source>The district&apos;s copy of the history is %1 records behind: %2</source>
        <translation>学区的历史副本落后 %1 条记录：%2</translation>
    </message>
    <message>
        <source>The district&apos;s copy of the history is not kept up to date: %1</source>
        <translation>学区的历史副本未能更新：%1</translation>
    </message>
</context>
<context>
    <name>CommError</name>
    <message>
        <source>the port is not open</source>
        <translation>端口未打开</translation>
    </message>
    <message>
        <source>the port is already open</source>
        <translation>端口已经打开</translation>
    </message>
    <message>
        <source>no such device</source>
        <translation>设备不存在</translation>
    </message>
    <message>
        <source>not a serial device</source>
        <translation>不是串口设备</translation>
    </message>
    <message>
        <source>in use by another program</source>
        <translation>正被其他程序使用</translation>
    </message>
    <message>
        <source>permission denied</source>
        <translation>权限不足</translation>
    </message>
    <message>
        <source>disconnected</source>
        <translation>已断开</translation>
    </message>
    <message>
        <source>no server takes connections there (connection refused)</source>
        <translation>该地址没有服务器接受连接（连接被拒绝）</translation>
    </message>
    <message>
        <source>%1 baud</source>
        <translation>%1 波特</translation>
    </message>
    <message>
        <source>%1 data bits</source>
        <translation>%1 个数据位</translation>
    </message>
    <message>
        <source>parity &quot;%1&quot;</source>
        <translation>校验方式“%1”</translation>
    </message>
    <message>
        <source>the device cannot use %1 data bits</source>
        <translation>设备不能使用 %1 个数据位</translation>
    </message>
</context>
<context>
    <name>CommandEntry</name>
    <message>
        <source>there is no room &quot;%1&quot;</source>
        <translation>没有教室“%1”</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>Remote-control panel for the KT4200 classroom AV controller, on a serial line or a network serial server.</source>
        <translation>KT4200 多媒体中央控制系统遥控面板，经串口或网络串口服务器连接。</translation>
    </message>
    <message>
        <source>Use DEVICE for COM1 in this run (a path such as /dev/ttyUSB0, or COM3 on Windows).</source>
        <translation>本次运行中 COM1 使用设备 DEVICE（如 /dev/ttyUSB0，Windows 上如 COM3）。</translation>
    </message>
    <message>
        <source>DEVICE</source>
        <translation>DEVICE</translation>
    </message>
    <message>
        <source>Use DEVICE for COM2 in this run.</source>
        <translation>本次运行中 COM2 使用设备 DEVICE。</translation>
    </message>
    <message>
        <source>Unexpected argument &apos;%1&apos;.</source>
        <translation>多余的参数“%1”。</translation>
    </message>
    <message>
        <source>The option &apos;--%1&apos; needs a device.</source>
        <translation>选项“--%1”需要指定设备。</translation>
    </message>
    <message>
        <source>Tell on stderr how each line is opened and each command sent (for a technician).</source>
        <translation>在标准错误输出上说明每条线路如何打开、每条命令如何发送（供技术人员使用）。</translation>
    </message>
</context>
<context>
    <name>CommandResolver</name>
    <message>
        <source>unknown command &quot;%1&quot; (lumo send --list shows them)</source>
        <translation>未知命令“%1”（用 lumo send --list 查看全部命令）</translation>
    </message>
</context>
<context>
    <name>DeviceChoice</name>
    <message>
        <source>the command line (--com%1)</source>
        <translation>命令行（--com%1）</translation>
    </message>
    <message>
        <source>the environment variable %1</source>
        <translation>环境变量 %1</translation>
    </message>
    <message>
        <source>your settings</source>
        <translation>您的设置</translation>
    </message>
    <message>
        <source>the settings for all users</source>
        <translation>所有用户的设置</translation>
    </message>
    <message>
        <source>the default</source>
        <translation>默认值</translation>
    </message>
    <message>
        <source>the device name for COM%1</source>
        <translation>COM%1 的设备名</translation>
    </message>
    <message>
        <source>The choice for COM%1 cannot be stored in %2 (the file or its folder cannot be written).</source>
        <translation>COM%1 的选择无法保存到 %2（该文件或其所在文件夹不可写入）。</translation>
    </message>
</context>
<context>
    <name>DeviceDiscovery</name>
    <message>
        <source>No serial device was found on this computer.</source>
        <translation>本机未找到串口设备。</translation>
    </message>
    <message>
        <source>Serial devices found: %1.</source>
        <translation>找到的串口设备：%1。</translation>
    </message>
    <message>
        <source>Choose the device for COM%1 with &quot;%2&quot; in this window&apos;s menu (right click).</source>
        <translation>请在本窗口的菜单（右键单击）中用“%2”为 COM%1 选择设备。</translation>
    </message>
    <message>
        <source>Choose the device for COM%1 with &quot;%2&quot; in this window&apos;s system menu (Alt+Space).</source>
        <translation>请在本窗口的系统菜单（Alt+空格）中用“%2”为 COM%1 选择设备。</translation>
    </message>
    <message>
        <source>Check that the serial server is switched on and reachable from this computer, and that the URL names its host and TCP port (rfc2217://HOST:PORT or socket://HOST:PORT).</source>
        <translation>请检查串口服务器是否已开机、本机能否连到它，以及网址是否写明了它的主机和 TCP 端口（rfc2217://主机:端口 或 socket://主机:端口）。</translation>
    </message>
</context>
<context>
    <name>DeviceUrl</name>
    <message>
        <source>unknown kind of device &quot;%1://&quot; (use rfc2217://HOST:PORT or socket://HOST:PORT)</source>
        <translation>未知的设备类型“%1://”（请使用 rfc2217://主机:端口 或 socket://主机:端口）</translation>
    </message>
    <message>
        <source>an IPv6 address must be written in brackets, as in %1://[::1]:PORT</source>
        <translation>IPv6 地址必须写在方括号中，例如 %1://[::1]:端口</translation>
    </message>
    <message>
        <source>unexpected &quot;%1&quot; after the port</source>
        <translation>端口后面多了“%1”</translation>
    </message>
    <message>
        <source>&quot;[%1]&quot; is not an IPv6 address</source>
        <translation>“[%1]”不是 IPv6 地址</translation>
    </message>
    <message>
        <source>no host is given</source>
        <translation>未指定主机</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a host name or address</source>
        <translation>“%1”不是主机名或地址</translation>
    </message>
    <message>
        <source>no TCP port is given (write %1://HOST:PORT)</source>
        <translation>未指定 TCP 端口（请写成 %1://主机:端口）</translation>
    </message>
    <message>
        <source>the TCP port must be 1 to 65535, not &quot;%1&quot;</source>
        <translation>TCP 端口必须为 1 到 65535，而不是“%1”</translation>
    </message>
</context>
<context>
    <name>History</name>
    <message>
        <source>the history %1 cannot be opened: %2</source>
        <translation>无法打开操作记录 %1：%2</translation>
    </message>
    <message>
        <source>the history %1 cannot be used: %2</source>
        <translation>无法使用操作记录 %1：%2</translation>
    </message>
    <message>
        <source>the history could not be opened</source>
        <translation>无法打开操作记录</translation>
    </message>
    <message>
        <source>the history cannot be read: %1</source>
        <translation>无法读取操作记录：%1</translation>
    </message>
    <message>
        <source>the district&apos;s database has not answered for %1 s</source>
        <translation>学区数据库已有 %1 秒没有应答</translation>
    </message>
    <message>
        <source>the district history did not answer within %1 s</source>
        <translation>学区记录在 %1 秒内没有应答</translation>
    </message>
    <message>
        <source>this system has no Qt SQL driver for PostgreSQL (libqt6sql6-psql)</source>
        <translation>本系统没有 PostgreSQL 的 Qt SQL 驱动（libqt6sql6-psql）</translation>
    </message>
    <message>
        <source>the district history cannot be reached: %1</source>
        <translation>无法连接学区记录：%1</translation>
    </message>
    <message>
        <source>the district history cannot be read: %1</source>
        <translation>无法读取学区记录：%1</translation>
    </message>
    <message>
        <source>the history %1 cannot be opened: this system has no Qt SQL driver for it (libqt6sql6-sqlite)</source>
        <translation>无法打开记录 %1：本系统没有它的 Qt SQL 驱动（libqt6sql6-sqlite）</translation>
    </message>
</context>
<context>
    <name>HistoryApi</name>
    <message>
        <source>This service keeps no history ([history] database=off).</source>
        <translation>本服务不保存操作记录（[history] database=off）。</translation>
    </message>
    <message>
        <source>%1=%2 is no date (2026-12-08) or date and time (2026-12-08T22:00:00)</source>
        <translation>%1=%2 不是日期（2026-12-08）或日期时间（2026-12-08T22:00:00）</translation>
    </message>
    <message>
        <source>limit= takes 1 to %1, before= an entry&apos;s ID</source>
        <translation>limit= 取 1 到 %1，before= 取一条记录的 ID</translation>
    </message>
    <message>
        <source>outcome= takes failed (every command that was not sent)</source>
        <translation>outcome= 取 failed（所有未发送的命令）</translation>
    </message>
</context>
<context>
    <name>IdempotencyKeys</name>
    <message>
        <source>An Idempotency-Key is 1 to %1 visible ASCII characters.</source>
        <translation>Idempotency-Key 应为 1 到 %1 个可见的 ASCII 字符。</translation>
    </message>
    <message>
        <source>This Idempotency-Key was used for another request. Nothing was sent.</source>
        <translation>此 Idempotency-Key 已用于另一个请求。未发送任何命令。</translation>
    </message>
    <message>
        <source>Too many of your requests are under way. Nothing was sent; try again.</source>
        <translation>您进行中的请求过多，未发送任何命令；请重试。</translation>
    </message>
</context>
<context>
    <name>InputLimit</name>
    <message>
        <source>%1 &quot;%2&quot; is %3 characters long; at most %4 are taken</source>
        <translation>%1“%2”长 %3 个字符，最多只接受 %4 个</translation>
    </message>
    <message>
        <source>the argument</source>
        <translation>参数</translation>
    </message>
</context>
<context>
    <name>Line</name>
    <message>
        <source>%1 more</source>
        <translation>另外 %1 个</translation>
    </message>
    <message>
        <source>Not sent: %1.</source>
        <translation>未发送：%1。</translation>
    </message>
    <message>
        <source>Sent, not confirmed: %1.</source>
        <translation>已发送但未确认：%1。</translation>
    </message>
</context>
<context>
    <name>MqttBridge</name>
    <message>
        <source>cannot read the MQTT password from %1 (%2)</source>
        <translation>无法从 %1 读取 MQTT 密码（%2）</translation>
    </message>
    <message>
        <source>MQTT broker %1 port %2: %3; trying again</source>
        <translation>MQTT 服务器 %1 端口 %2：%3；稍后重试</translation>
    </message>
    <message>
        <source>a retained command is not carried out (it has been cleared); publish commands without retain</source>
        <translation>保留的命令不会执行（已将其清除）；发布命令时请不要设置保留</translation>
    </message>
    <message>
        <source>a command is at most %1 bytes</source>
        <translation>命令最多 %1 个字节</translation>
    </message>
    <message>
        <source>a command with this id was taken already; not carried out again</source>
        <translation>已收到过带此 id 的命令；不再执行</translation>
    </message>
    <message>
        <source>the command expired (&quot;expires&quot;: %1); not sent</source>
        <translation>命令已过期（“expires”：%1）；未发送</translation>
    </message>
    <message>
        <source>room %1 is also served by the service %2 on this broker: its MQTT commands are left to %2</source>
        <translation>教室 %1 也由此代理上的服务 %2 提供：其 MQTT 命令交给 %2 处理</translation>
    </message>
</context>
<context>
    <name>MqttConfig</name>
    <message>
        <source>broker=%1 is no broker address (for example mqtt://broker.example:1883 or mqtts://broker.example:8883)</source>
        <translation>broker=%1 不是服务器地址（例如 mqtt://broker.example:1883 或 mqtts://broker.example:8883）</translation>
    </message>
    <message>
        <source>%1=%2 cannot be read</source>
        <translation>%1=%2 无法读取</translation>
    </message>
    <message>
        <source>username= takes 1 to 128 characters</source>
        <translation>username= 须为 1 到 128 个字符</translation>
    </message>
    <message>
        <source>%1=%2 is no topic prefix: 1 to %3 characters, levels separated by &quot;/&quot;, none empty, no &quot;+&quot; or &quot;#&quot;, not starting with &quot;$&quot;</source>
        <translation>%1=%2 不是主题前缀：须为 1 到 %3 个字符，各级以“/”分隔且不能为空，不含“+”或“#”，不以“$”开头</translation>
    </message>
    <message>
        <source>client_id= takes 1 to 64 letters, digits, &quot;.&quot;, &quot;-&quot; or &quot;_&quot;</source>
        <translation>client_id= 须为 1 到 64 个字母、数字、“.”、“-”或“_”</translation>
    </message>
    <message>
        <source>unknown key &quot;%1&quot; in [mqtt] (known: broker, ca, username, password_file, prefix, discovery_prefix, client_id)</source>
        <translation>[mqtt] 中的未知键“%1”（可用：broker、ca、username、password_file、prefix、discovery_prefix、client_id）</translation>
    </message>
    <message>
        <source>[mqtt] needs broker=, for example mqtt://broker.example:1883</source>
        <translation>[mqtt] 需要 broker=，例如 mqtt://broker.example:1883</translation>
    </message>
    <message>
        <source>password_file= needs username= in [mqtt]</source>
        <translation>[mqtt] 中的 password_file= 需要 username=</translation>
    </message>
    <message>
        <source>ca= is for an mqtts:// broker</source>
        <translation>ca= 只用于 mqtts:// 服务器</translation>
    </message>
</context>
<context>
    <name>MqttLink</name>
    <message>
        <source>the broker refused the user name or password (%1)</source>
        <translation>服务器拒绝了用户名或密码（%1）</translation>
    </message>
    <message>
        <source>the broker refused the connection (%1)</source>
        <translation>服务器拒绝了连接（%1）</translation>
    </message>
    <message>
        <source>%1 port %2 took the connection but answered no MQTT (%3): is it the broker&apos;s port, and does it want TLS (mqtts://)?</source>
        <translation>%1 端口 %2 接受了连接，但没有以 MQTT 应答（%3）：这是代理的端口吗？它是否需要 TLS（mqtts://）？</translation>
    </message>
</context>
<context>
    <name>NetworkSerialDevice</name>
    <message>
        <source>an unreadable speed</source>
        <translation>无法识别的速率</translation>
    </message>
    <message>
        <source>%1 stop bits</source>
        <translation>%1 个停止位</translation>
    </message>
    <message>
        <source>disconnected (the connection to the server was lost)</source>
        <translation>已断开（与服务器的连接中断）</translation>
    </message>
    <message>
        <source>the connection to the server was lost before the server confirmed what was sent; it may not have arrived</source>
        <translation>服务器确认已发送的内容之前，与服务器的连接中断；内容可能没有送达</translation>
    </message>
    <message>
        <source>the server did not confirm within %1 s that it passed on what was sent; it may not have arrived</source>
        <translation>服务器没有在 %1 秒内确认已转发发送的内容；内容可能没有送达</translation>
    </message>
    <message>
        <source>the server did not take what was sent within %1 s; it may not have arrived</source>
        <translation>服务器没有在 %1 秒内接收发送的内容；内容可能没有送达</translation>
    </message>
    <message>
        <source>the server did not answer within %1 s</source>
        <translation>服务器在 %1 秒内没有应答</translation>
    </message>
    <message>
        <source>cannot connect (%1)</source>
        <translation>无法连接（%1）</translation>
    </message>
    <message>
        <source>the server closed the connection while setting up the line</source>
        <translation>设置线路时服务器关闭了连接</translation>
    </message>
    <message>
        <source>the server did not confirm %1</source>
        <translation>服务器没有确认%1</translation>
    </message>
    <message>
        <source>the name &quot;%1&quot; could not be looked up within %2 s</source>
        <translation>无法在 %2 秒内解析名称“%1”</translation>
    </message>
    <message>
        <source>the host &quot;%1&quot; is not known</source>
        <translation>未知主机“%1”</translation>
    </message>
    <message>
        <source>the use of RFC 2217</source>
        <translation>使用 RFC 2217</translation>
    </message>
    <message>
        <source>the server does not set serial lines (RFC 2217); for bytes only, use socket://%1:%2</source>
        <translation>服务器不支持设置串口线路（RFC 2217）；如只需收发字节，请使用 socket://%1:%2</translation>
    </message>
    <message>
        <source>the line settings %1</source>
        <translation>线路设置 %1</translation>
    </message>
    <message>
        <source>the device cannot use %1 (the server set %2)</source>
        <translation>设备不能使用%1（服务器设为%2）</translation>
    </message>
    <message>
        <source>the server does not take the data</source>
        <translation>服务器不接收数据</translation>
    </message>
</context>
<context>
    <name>Outcome</name>
    <message>
        <source>The action failed for a reason that was not described.</source>
        <translation>操作失败，原因不明。</translation>
    </message>
</context>
<context>
    <name>PanelClient</name>
    <message>
        <source>the running Lumo panel did not confirm &quot;%1&quot; (%2)</source>
        <translation>正在运行的 Lumo 面板没有确认“%1”（%2）</translation>
    </message>
</context>
<context>
    <name>PanelProjector</name>
    <message>
        <source>Projector: %1</source>
        <translation>投影机：%1</translation>
    </message>
    <message>
        <source>Projector %1: not reachable. %2</source>
        <translation>投影机 %1：无法连接。%2</translation>
    </message>
    <message>
        <source>off</source>
        <translation>关</translation>
    </message>
    <message>
        <source>on</source>
        <translation>开</translation>
    </message>
    <message>
        <source>warming up</source>
        <translation>预热中</translation>
    </message>
    <message>
        <source>cooling down</source>
        <translation>冷却中</translation>
    </message>
    <message>
        <source>state unknown</source>
        <translation>状态未知</translation>
    </message>
    <message>
        <source>lamp %1 h</source>
        <translation>灯泡 %1 小时</translation>
    </message>
</context>
<context>
    <name>PanelService</name>
    <message>
        <source>the command</source>
        <translation>命令</translation>
    </message>
</context>
<context>
    <name>PartLoader</name>
    <message>
        <source>this installation of Lumo lacks %1</source>
        <translation>此 Lumo 安装缺少 %1</translation>
    </message>
    <message>
        <source>%1 cannot be loaded: %2</source>
        <translation>无法加载 %1：%2</translation>
    </message>
    <message>
        <source>%1 is version %2 of the part, but this Lumo needs version %3</source>
        <translation>%1 是该部件的 %2 版，而此 Lumo 需要 %3 版</translation>
    </message>
    <message>
        <source>%1 is not the part this Lumo needs (it offers %2, not %3)</source>
        <translation>%1 不是此 Lumo 所需的部件（它提供 %2，而不是 %3）</translation>
    </message>
</context>
<context>
    <name>PhonePage</name>
    <message>
        <source>Lumo remote</source>
        <translation>Lumo 遥控</translation>
    </message>
    <message>
        <source>Connected to the panel on %1.</source>
        <translation>已连接到 %1 上的面板。</translation>
    </message>
    <message>
        <source>Sending: %1</source>
        <translation>正在发送：%1</translation>
    </message>
    <message>
        <source>Sent: %1</source>
        <translation>已发送：%1</translation>
    </message>
    <message>
        <source>The panel on the PC was closed. Nothing was sent.</source>
        <translation>电脑上的面板已关闭，没有发送任何命令。</translation>
    </message>
    <message>
        <source>This link is no longer valid. Scan the code on the PC again.</source>
        <translation>此链接已失效，请重新扫描电脑上的二维码。</translation>
    </message>
    <message>
        <source>Too many failed attempts from this device. Try again in a minute.</source>
        <translation>此设备失败的尝试过多，请一分钟后再试。</translation>
    </message>
    <message>
        <source>Room %1.</source>
        <translation>教室 %1。</translation>
    </message>
    <message>
        <source>The campus service cannot be reached. Nothing was sent.</source>
        <translation>无法连接校园服务。未发送任何命令。</translation>
    </message>
    <message>
        <source>You are logged out. Log in again on the rooms page.</source>
        <translation>您已退出登录，请在教室页面重新登录。</translation>
    </message>
    <message>
        <source>All rooms</source>
        <translation>所有教室</translation>
    </message>
    <message>
        <source>Not sent: %1.</source>
        <translation>未发送：%1。</translation>
    </message>
    <message>
        <source>Sent, not confirmed: %1.</source>
        <translation>已发送但未确认：%1。</translation>
    </message>
    <message>
        <source>The controller took it.</source>
        <translation>控制器已接收。</translation>
    </message>
    <message>
        <source>The controller did not confirm it; look whether it worked.</source>
        <translation>控制器没有确认；请看看是否生效。</translation>
    </message>
    <message>
        <source>This command is not known here.</source>
        <translation>这里没有这个命令。</translation>
    </message>
    <message>
        <source>This room is no longer on the list.</source>
        <translation>这间教室已不在列表中。</translation>
    </message>
    <message>
        <source>Another program is using the controller. Try again in a moment.</source>
        <translation>另一个程序正在使用控制器，请稍后再试。</translation>
    </message>
    <message>
        <source>The connection to the controller was lost.</source>
        <translation>与控制器的连接已断开。</translation>
    </message>
    <message>
        <source>The room&apos;s controller does not respond.</source>
        <translation>教室的控制器没有响应。</translation>
    </message>
    <message>
        <source>Too many commands are waiting. Try again in a moment.</source>
        <translation>等待发送的命令太多，请稍后再试。</translation>
    </message>
    <message>
        <source>Nothing went out.</source>
        <translation>什么也没有发出。</translation>
    </message>
    <message>
        <source>The room&apos;s controller does not respond. Commands cannot be sent; a technician can look at the details.</source>
        <translation>教室的控制器没有响应，命令无法发送；技术人员可查看详细信息。</translation>
    </message>
    <message>
        <source>Another program is using the room&apos;s controller. Commands are not sent until it lets go.</source>
        <translation>另一个程序正在使用教室的控制器，在它释放之前命令不会发送。</translation>
    </message>
    <message>
        <source>Projector and screen</source>
        <translation>投影机和银幕</translation>
    </message>
    <message>
        <source>Sources</source>
        <translation>信号源</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>音量</translation>
    </message>
    <message>
        <source>Playback</source>
        <translation>播放</translation>
    </message>
    <message>
        <source>This page needs JavaScript to send commands; it is switched off in this browser.</source>
        <translation>本页需要 JavaScript 才能发送命令；此浏览器已将其关闭。</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>详细信息</translation>
    </message>
    <message>
        <source>The server cannot be reached. Nothing can be sent until it is back; check the network, then reload this page.</source>
        <translation>无法连接服务器。在它恢复之前无法发送任何命令；请检查网络，然后重新加载本页。</translation>
    </message>
    <message>
        <source>Lumo: no connection</source>
        <translation>Lumo：无法连接</translation>
    </message>
    <message>
        <source>Try again</source>
        <translation>重试</translation>
    </message>
    <message>
        <source>The controller took it, but the projector did not switch.</source>
        <translation>控制器已接收，但投影机没有切换。</translation>
    </message>
    <message>
        <source>Projector</source>
        <translation>投影机</translation>
    </message>
</context>
<context>
    <name>PjlinkClient</name>
    <message>
        <source>no connection within %1 s</source>
        <translation>%1 秒内未能连接</translation>
    </message>
    <message>
        <source>no answer within %1 s</source>
        <translation>%1 秒内没有应答</translation>
    </message>
    <message>
        <source>the queries took longer than %1 s</source>
        <translation>查询用时超过 %1 秒</translation>
    </message>
    <message>
        <source>the projector closed the connection before answering</source>
        <translation>投影机在应答前关闭了连接</translation>
    </message>
    <message>
        <source>the projector closed the connection in the middle of a line</source>
        <translation>投影机在一行的中途关闭了连接</translation>
    </message>
    <message>
        <source>the projector sent a line longer than %1 bytes</source>
        <translation>投影机发来的一行超过 %1 字节</translation>
    </message>
    <message>
        <source>the projector refused the connection (ERRA)</source>
        <translation>投影机拒绝了连接（ERRA）</translation>
    </message>
    <message>
        <source>the projector asks for a password and none is set</source>
        <translation>投影机要求密码，但没有设置密码</translation>
    </message>
    <message>
        <source>the projector refused the password (ERRA)</source>
        <translation>投影机拒绝了密码（ERRA）</translation>
    </message>
    <message>
        <source>the projector answered %1 to %2</source>
        <translation>投影机对 %2 答以 %1</translation>
    </message>
    <message>
        <source>projector %1: %2</source>
        <translation>投影机 %1：%2</translation>
    </message>
</context>
<context>
    <name>PjlinkMessage</name>
    <message>
        <source>the projector answered &quot;%1&quot;, which is no answer</source>
        <translation>投影机答以“%1”，这不是应答</translation>
    </message>
    <message>
        <source>the projector&apos;s answer holds control characters</source>
        <translation>投影机的应答含有控制字符</translation>
    </message>
    <message>
        <source>it greeted with &quot;%1&quot;, not as a projector does</source>
        <translation>它以“%1”问候，不像投影机</translation>
    </message>
    <message>
        <source>the projector does not know the command (ERR1)</source>
        <translation>投影机不认识该命令（ERR1）</translation>
    </message>
    <message>
        <source>the projector does not take that value (ERR2)</source>
        <translation>投影机不接受该值（ERR2）</translation>
    </message>
    <message>
        <source>the projector cannot do that now, e.g. while warming up or cooling (ERR3)</source>
        <translation>投影机现在无法执行，例如正在预热或冷却（ERR3）</translation>
    </message>
    <message>
        <source>the projector reports a failure of its own (ERR4)</source>
        <translation>投影机报告自身故障（ERR4）</translation>
    </message>
</context>
<context>
    <name>PjlinkNotifications</name>
    <message>
        <source>projector notices: cannot listen on UDP port %1: %2</source>
        <translation>投影机通知：无法在 UDP 端口 %1 上监听：%2</translation>
    </message>
    <message>
        <source>a notice longer than %1 bytes</source>
        <translation>通知超过 %1 字节</translation>
    </message>
    <message>
        <source>no projector watched has this address</source>
        <translation>没有受监视的投影机使用此地址</translation>
    </message>
    <message>
        <source>%1 projectors watched have this address</source>
        <translation>%1 台受监视的投影机使用此地址</translation>
    </message>
    <message>
        <source>no status notice: %1</source>
        <translation>不是状态通知：%1</translation>
    </message>
</context>
<context>
    <name>PjlinkProjector</name>
    <message>
        <source>projector %1: too many requests waiting</source>
        <translation>投影机 %1：等待的请求过多</translation>
    </message>
    <message>
        <source>input %1</source>
        <translation>输入 %1</translation>
    </message>
    <message>
        <source>projector %1: &quot;%2&quot; is no input</source>
        <translation>投影机 %1：“%2”不是输入</translation>
    </message>
    <message>
        <source>projector %1: %2</source>
        <translation>投影机 %1：%2</translation>
    </message>
    <message>
        <source>unexpected answer &quot;%1&quot;</source>
        <translation>意外的应答“%1”</translation>
    </message>
</context>
<context>
    <name>PjlinkUrl</name>
    <message>
        <source>projector &quot;%1&quot;: %2</source>
        <translation>投影机“%1”：%2</translation>
    </message>
    <message>
        <source>longer than %1 characters</source>
        <translation>超过 %1 个字符</translation>
    </message>
    <message>
        <source>not a projector address (write pjlink://HOST or pjlink://HOST:PORT)</source>
        <translation>不是投影机地址（请写 pjlink://主机 或 pjlink://主机:端口）</translation>
    </message>
    <message>
        <source>an IPv6 address must be written in brackets, as in pjlink://[::1]</source>
        <translation>IPv6 地址必须写在方括号中，例如 pjlink://[::1]</translation>
    </message>
    <message>
        <source>unexpected text after the host or port</source>
        <translation>主机或端口之后有多余的文字</translation>
    </message>
    <message>
        <source>&quot;[%1]&quot; is not an IPv6 address</source>
        <translation>“[%1]”不是 IPv6 地址</translation>
    </message>
    <message>
        <source>no host is given</source>
        <translation>未指定主机</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a host name or address</source>
        <translation>“%1”不是主机名或地址</translation>
    </message>
    <message>
        <source>the TCP port must be 1 to 65535, not &quot;%1&quot;</source>
        <translation>TCP 端口必须为 1 到 65535，而不是“%1”</translation>
    </message>
</context>
<context>
    <name>ProjectorAlerts</name>
    <message>
        <source>Room %1: the projector at %2 has not answered for %3 minutes: %4</source>
        <translation>教室 %1：%2 的投影机已 %3 分钟没有应答：%4</translation>
    </message>
    <message>
        <source>Room %1: the projector at %2 reports an error: %3</source>
        <translation>教室 %1：%2 的投影机报告故障：%3</translation>
    </message>
    <message>
        <source>Room %1: the projector at %2 has a lamp of %3 hours (the alert is at %4): replace it soon</source>
        <translation>教室 %1：%2 的投影机灯泡已用 %3 小时（警报阈值 %4）：请尽快更换</translation>
    </message>
</context>
<context>
    <name>ProjectorConfig</name>
    <message>
        <source>mail_to=: &quot;%1&quot; is no mail address</source>
        <translation>mail_to=：“%1”不是邮件地址</translation>
    </message>
    <message>
        <source>mail_to= takes at most 20 addresses</source>
        <translation>mail_to= 最多取 20 个地址</translation>
    </message>
    <message>
        <source>sendmail= takes the program&apos;s full path (/usr/sbin/sendmail)</source>
        <translation>sendmail= 取程序的完整路径（/usr/sbin/sendmail）</translation>
    </message>
    <message>
        <source>unknown key &quot;%1&quot; in [alerts] (known: mail_to, sendmail)</source>
        <translation>[alerts] 中的未知键“%1”（可用：mail_to、sendmail）</translation>
    </message>
    <message>
        <source>%1= takes a time from %2 s to %3 s (90s, 10m, 1h)</source>
        <translation>%1= 取 %2 秒到 %3 秒的时长（90s、10m、1h）</translation>
    </message>
    <message>
        <source>%1= takes a number from %2 to %3</source>
        <translation>%1= 取 %2 到 %3 的数</translation>
    </message>
    <message>
        <source>unknown key &quot;%1&quot; in [projectors] (known: password_file, poll, parallel, follow, notices, lamp_alert, unreachable_alert, repeat)</source>
        <translation>[projectors] 中的未知键“%1”（可用：password_file、poll、parallel、follow、notices、lamp_alert、unreachable_alert、repeat）</translation>
    </message>
    <message>
        <source>password_file=%1 cannot be read (%2)</source>
        <translation>password_file=%1 无法读取（%2）</translation>
    </message>
    <message>
        <source>password_file=%1 is larger than %2 KiB</source>
        <translation>password_file=%1 大于 %2 KiB</translation>
    </message>
    <message>
        <source>%1: password %2 is longer than 32 characters</source>
        <translation>%1：第 %2 个密码超过 32 个字符</translation>
    </message>
    <message>
        <source>%1: line %2 is no ROOM=PASSWORD (one line alone is every projector&apos;s password)</source>
        <translation>%1：第 %2 行不是 教室=密码（只有一行时是所有投影机的密码）</translation>
    </message>
    <message>
        <source>projector=%1 is no projector address: write pjlink://HOST or pjlink://HOST:PORT (the password goes in [projectors] password_file=)</source>
        <translation>projector=%1 不是投影机地址：请写成 pjlink://主机 或 pjlink://主机:端口（密码放在 [projectors] password_file= 中）</translation>
    </message>
</context>
<context>
    <name>ProjectorWatch</name>
    <message>
        <source>off</source>
        <translation>关</translation>
    </message>
    <message>
        <source>on</source>
        <translation>开</translation>
    </message>
    <message>
        <source>warming up</source>
        <translation>预热中</translation>
    </message>
    <message>
        <source>cooling down</source>
        <translation>冷却中</translation>
    </message>
    <message>
        <source>state unknown</source>
        <translation>状态未知</translation>
    </message>
    <message>
        <source>not reachable</source>
        <translation>无法连接</translation>
    </message>
    <message>
        <source>Projector: %1</source>
        <translation>投影机：%1</translation>
    </message>
    <message>
        <source>lamp %1 h</source>
        <translation>灯泡 %1 小时</translation>
    </message>
    <message>
        <source>did not follow %1</source>
        <translation>未执行 %1</translation>
    </message>
    <message>
        <source>error</source>
        <translation>故障</translation>
    </message>
    <message>
        <source>replace the lamp</source>
        <translation>请更换灯泡</translation>
    </message>
    <message>
        <source>unreachable for long</source>
        <translation>长时间无法连接</translation>
    </message>
    <message>
        <source>Room %1: the projector at %2 is %3, not %4, %5 s after %6.</source>
        <translation>教室 %1：%6 之后 %5 秒，%2 的投影机是 %3，而不是 %4。</translation>
    </message>
    <message>
        <source>unreachable (%1)</source>
        <translation>无法连接（%1）</translation>
    </message>
    <message>
        <source>fan</source>
        <translation>风扇</translation>
    </message>
    <message>
        <source>lamp</source>
        <translation>灯泡</translation>
    </message>
    <message>
        <source>temperature</source>
        <translation>温度</translation>
    </message>
    <message>
        <source>cover</source>
        <translation>机盖</translation>
    </message>
    <message>
        <source>filter</source>
        <translation>滤网</translation>
    </message>
    <message>
        <source>other</source>
        <translation>其他</translation>
    </message>
    <message>
        <source>%1: warning</source>
        <translation>%1：警告</translation>
    </message>
    <message>
        <source>%1: error</source>
        <translation>%1：故障</translation>
    </message>
</context>
<context>
    <name>RemoteServer</name>
    <message>
        <source>Port %1 is taken by another program. Choose another one with the setting remote/port.</source>
        <translation>端口 %1 已被其他程序占用。请用设置 remote/port 选择其他端口。</translation>
    </message>
    <message>
        <source>The remote cannot listen on port %1: %2</source>
        <translation>遥控无法在端口 %1 上监听：%2</translation>
    </message>
    <message>
        <source>Not found.</source>
        <translation>未找到。</translation>
    </message>
    <message>
        <source>The secret of the remote is missing or wrong.</source>
        <translation>遥控的密钥缺失或错误。</translation>
    </message>
    <message>
        <source>Only GET is served here.</source>
        <translation>此处只接受 GET。</translation>
    </message>
    <message>
        <source>Commands are sent with POST.</source>
        <translation>命令须用 POST 发送。</translation>
    </message>
</context>
<context>
    <name>RoomGroups</name>
    <message>
        <source>there is no group &quot;%1&quot;</source>
        <translation>没有教室组“%1”</translation>
    </message>
    <message>
        <source>there is no room &quot;%1&quot;</source>
        <translation>没有教室“%1”</translation>
    </message>
</context>
<context>
    <name>ScheduleConfig</name>
    <message>
        <source>at=%1 is no time of day: write HH:MM or HH:MM:SS (22:00)</source>
        <translation>at=%1 不是时刻：请写成 HH:MM 或 HH:MM:SS（22:00）</translation>
    </message>
    <message>
        <source>days=%1: &quot;%2&quot; is no day or range of days (mon, tue, wed, thu, fri, sat, sun; mon-fri)</source>
        <translation>days=%1：“%2”不是星期几或星期范围（mon、tue、wed、thu、fri、sat、sun；mon-fri）</translation>
    </message>
    <message>
        <source>days= names no day</source>
        <translation>days= 没有给出任何一天</translation>
    </message>
    <message>
        <source>rooms= names no room (rooms, @groups, or all)</source>
        <translation>rooms= 没有给出教室（教室、@教室组或 all）</translation>
    </message>
    <message>
        <source>commands= takes 1 to 23 commands</source>
        <translation>commands= 取 1 到 23 条命令</translation>
    </message>
    <message>
        <source>skip=: &quot;%1&quot; is no date or range of dates (2026-12-25, 2027-01-01..2027-01-03)</source>
        <translation>skip=：“%1”不是日期或日期范围（2026-12-25，2027-01-01..2027-01-03）</translation>
    </message>
    <message>
        <source>skip= takes at most %1 dates or ranges</source>
        <translation>skip= 最多取 %1 个日期或日期范围</translation>
    </message>
    <message>
        <source>unknown key &quot;%1&quot; for schedule %2 (known: at, days, rooms, commands, skip)</source>
        <translation>定时任务 %2 的未知键“%1”（可用：at、days、rooms、commands、skip）</translation>
    </message>
    <message>
        <source>schedule %1 has no time (%1\at=HH:MM)</source>
        <translation>定时任务 %1 没有时刻（%1\at=HH:MM）</translation>
    </message>
    <message>
        <source>schedule %1 has no commands (%1\commands=…)</source>
        <translation>定时任务 %1 没有命令（%1\commands=…）</translation>
    </message>
    <message>
        <source>schedule %1 has no rooms (%1\rooms=all, rooms or @groups)</source>
        <translation>定时任务 %1 没有教室（%1\rooms=all、教室或 @教室组）</translation>
    </message>
</context>
<context>
    <name>Scheduler</name>
    <message>
        <source>not sent: its time %1 passed while the service could not run it</source>
        <translation>未发送：时刻 %1 已过，当时服务无法执行</translation>
    </message>
</context>
<context>
    <name>SecretFile</name>
    <message>
        <source>%1 may be read or changed by other users (mode %2): it holds a secret, so make it its owner&apos;s alone (chmod 600 %1)</source>
        <translation>其他用户可以读取或修改 %1（权限 %2）：它存有机密，请只让其所有者访问（chmod 600 %1）</translation>
    </message>
</context>
<context>
    <name>SendCommand</name>
    <message>
        <source>Sent, not confirmed: %1.</source>
        <translation>已发送但未确认：%1。</translation>
    </message>
    <message>
        <source>Sends commands to the controller, in order, one byte each: through the running panel when it holds the port, otherwise through the port itself.</source>
        <translation>按顺序向中控发送命令，每条一个字节：正在运行的面板占用该端口时经由面板发送，否则直接经端口发送。</translation>
    </message>
    <message>
        <source>COM1, COM2 or a device name (without it: the setting send/port, or COM1).</source>
        <translation>COM1、COM2 或设备名（不指定时：使用设置 send/port，或 COM1）。</translation>
    </message>
    <message>
        <source>port</source>
        <translation>端口</translation>
    </message>
    <message>
        <source>Lists the commands: letter, name and label.</source>
        <translation>列出全部命令：字母、名称和按钮文字。</translation>
    </message>
    <message>
        <source>A letter, a name or the label of a button.</source>
        <translation>字母、名称或按钮上的文字。</translation>
    </message>
    <message>
        <source>Try &quot;lumo send --help&quot;.</source>
        <translation>请试试“lumo send --help”。</translation>
    </message>
    <message>
        <source>no command given</source>
        <translation>未给出命令</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no port: give COM1 to COM%2 or a device name</source>
        <translation>“%1”不是端口：请给出 COM1 到 COM%2 或设备名</translation>
    </message>
    <message>
        <source>the port</source>
        <translation>端口</translation>
    </message>
    <message>
        <source>Tell on stderr how the line is opened and each command sent.</source>
        <translation>在标准错误输出上说明线路如何打开、每条命令如何发送。</translation>
    </message>
    <message>
        <source>give either --port or --server, not both</source>
        <translation>请只给出 --port 或 --server 其中之一</translation>
    </message>
    <message>
        <source>Send through the campus service at URL (http://HOST:PORT or https://HOST:PORT) instead of a port.</source>
        <translation>经由位于 URL（http://主机:端口 或 https://主机:端口）的校园服务发送，而不经端口。</translation>
    </message>
    <message>
        <source>With --server: the file whose first line is the token (without it: LUMO_TOKEN).</source>
        <translation>与 --server 一起使用：第一行为令牌的文件（不给出时使用 LUMO_TOKEN）。</translation>
    </message>
    <message>
        <source>file</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>With --server: trust the certificates in this PEM file instead of the system&apos;s.</source>
        <translation>与 --server 一起使用：信任此 PEM 文件中的证书，而不是系统的证书。</translation>
    </message>
    <message>
        <source>Usage: lumo send [--port PORT] COMMAND...
       lumo send --server URL --room ID COMMAND...
       lumo send --list</source>
        <translation>用法：lumo send [--port 端口] 命令...
      lumo send --server URL --room ID 命令...
      lumo send --list</translation>
    </message>
    <message>
        <source>--%1 is for --server</source>
        <translation>--%1 只能与 --server 一起使用</translation>
    </message>
    <message>
        <source>With --server: the room&apos;s ID, @ and a group&apos;s name, or all for every room.</source>
        <translation>与 --server 一起使用：教室的 ID、@ 加教室组名，或用 all 表示所有教室。</translation>
    </message>
</context>
<context>
    <name>ServeCommand</name>
    <message>
        <source>Serves every room of a school from one place: each room&apos;s controller on its serial device or network serial server.</source>
        <translation>在一处为全校每间教室服务：每间教室的中控经其串口设备或网络串口服务器连接。</translation>
    </message>
    <message>
        <source>The configuration file (default: %1).</source>
        <translation>配置文件（默认：%1）。</translation>
    </message>
    <message>
        <source>file</source>
        <translation>文件</translation>
    </message>
    <message>
        <source>Checks the configuration and ends.</source>
        <translation>检查配置后退出。</translation>
    </message>
    <message>
        <source>Prints the hash of a password (or token) read from standard input, for [users] or [tokens].</source>
        <translation>从标准输入读取密码（或令牌），打印其散列值，供 [users] 或 [tokens] 使用。</translation>
    </message>
    <message>
        <source>Tell on stderr how each line is opened and each command sent.</source>
        <translation>在标准错误输出上说明每条线路如何打开、每条命令如何发送。</translation>
    </message>
    <message>
        <source>unexpected &quot;%1&quot;</source>
        <translation>多余的“%1”</translation>
    </message>
    <message>
        <source>Try &quot;lumo serve --help&quot;.</source>
        <translation>请试试“lumo serve --help”。</translation>
    </message>
    <message>
        <source>give the password on standard input, one line of 1 to %1 characters</source>
        <translation>请在标准输入上给出密码：一行，1 到 %1 个字符</translation>
    </message>
    <message>
        <source>the key %1 does not belong to the certificate %2 (%3)</source>
        <translation>私钥 %1 与证书 %2 不匹配（%3）</translation>
    </message>
    <message>
        <source>listen=%1 port %2 cannot be used: %3 (when lumo serve runs already, it holds the port)</source>
        <translation>listen=%1 端口 %2 无法使用：%3（若 lumo serve 已在运行，端口正被它占用）</translation>
    </message>
    <message>
        <source>%1: %2 rooms need about %3 file descriptors, but the service may open only %4: raise LimitNOFILE= of its unit (or ulimit -n)</source>
        <translation>%1：%2 间教室约需 %3 个文件描述符，但服务最多只能打开 %4 个：请调高其单元的 LimitNOFILE=（或 ulimit -n）</translation>
    </message>
    <message>
        <source>%1: %2 rooms, %3 groups, %4 schedules, %5 users, %6 tokens; the page on %7 port %8</source>
        <translation>%1：%2 间教室，%3 个教室组，%4 个定时任务，%5 个用户，%6 个令牌；网页在 %7 端口 %8</translation>
    </message>
</context>
<context>
    <name>ServeConfig</name>
    <message>
        <source>a section name must end with &quot;]&quot;</source>
        <translation>节名必须以“]”结尾</translation>
    </message>
    <message>
        <source>expected KEY=VALUE</source>
        <translation>应为 键=值</translation>
    </message>
    <message>
        <source>a key before the first [section]</source>
        <translation>第一个 [节] 之前出现了键</translation>
    </message>
    <message>
        <source>the value is longer than %1 characters</source>
        <translation>值超过 %1 个字符</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is given twice in [%2]</source>
        <translation>“%1”在 [%2] 中出现了两次</translation>
    </message>
    <message>
        <source>listen=%1 is no address and port (for example 0.0.0.0:8420 or [::]:8420)</source>
        <translation>listen=%1 不是地址和端口（例如 0.0.0.0:8420 或 [::]:8420）</translation>
    </message>
    <message>
        <source>cannot be read (%1)</source>
        <translation>无法读取（%1）</translation>
    </message>
    <message>
        <source>is larger than %1 KiB</source>
        <translation>大于 %1 KiB</translation>
    </message>
    <message>
        <source>%1=%2 cannot be read</source>
        <translation>%1=%2 无法读取</translation>
    </message>
    <message>
        <source>probe= takes seconds from 0 (no probes) to %1</source>
        <translation>probe= 取秒数，从 0（不探测）到 %1</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no name: 1 to 64 letters, digits, &quot;.&quot;, &quot;-&quot; or &quot;_&quot;</source>
        <translation>“%1”不是有效名称：应为 1 到 64 个字母、数字、“.”、“-”或“_”</translation>
    </message>
    <message>
        <source>the hash of &quot;%1&quot; is not one that lumo serve --hash-password makes</source>
        <translation>“%1”的散列值不是 lumo serve --hash-password 生成的格式</translation>
    </message>
    <message>
        <source>HTTPS needs both certificate= and key= in [web]</source>
        <translation>HTTPS 需要在 [web] 中同时给出 certificate= 和 key=</translation>
    </message>
    <message>
        <source>room %1 has no device (%1\device=…)</source>
        <translation>教室 %1 没有设备（%1\device=…）</translation>
    </message>
    <message>
        <source>unknown key &quot;%1&quot; in [web] (known: listen, certificate, key, hostname)</source>
        <translation>[web] 中的未知键“%1”（可用：listen、certificate、key、hostname）</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot be a room: /api/v1/rooms/all/ means every room</source>
        <translation>“%1”不能用作教室名：/api/v1/rooms/all/ 表示所有教室</translation>
    </message>
    <message>
        <source>the line holds a control character</source>
        <translation>该行含有控制字符</translation>
    </message>
    <message>
        <source>the value of %1 holds a control character</source>
        <translation>%1 的值含有控制字符</translation>
    </message>
    <message>
        <source>rooms %1 and %2 name the same device %3: a line serves one room</source>
        <translation>教室 %1 和 %2 使用同一设备 %3：一条线路只能服务一间教室</translation>
    </message>
    <message>
        <source>%1: no rooms in [rooms]: the service serves nothing (add ROOM\device=…)</source>
        <translation>%1：[rooms] 中没有教室，服务无事可做（请添加 ROOM\device=…）</translation>
    </message>
    <message>
        <source>%1 can be read by every user, and its password hashes be guessed at elsewhere: make it readable by root and the group dialout only (chmod 640, chgrp dialout)</source>
        <translation>所有用户都能读取 %1，其中的密码哈希可能被拿去别处破解：请只让 root 和 dialout 组读取（chmod 640，chgrp dialout）</translation>
    </message>
    <message>
        <source>idle_off= takes a time up to 7d (2h, 90m) or 0 for none</source>
        <translation>idle_off= 取不超过 7d 的时长（2h、90m），0 表示不自动关闭</translation>
    </message>
    <message>
        <source>idle_commands= takes 1 to 23 commands</source>
        <translation>idle_commands= 取 1 到 23 条命令</translation>
    </message>
    <message>
        <source>unknown key &quot;%1&quot; in [service] (known: probe, idle_off, idle_commands)</source>
        <translation>[service] 中的未知键“%1”（可用：probe、idle_off、idle_commands）</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no group name: 1 to 32 letters, digits, &quot;-&quot; or &quot;_&quot;</source>
        <translation>“%1”不是有效的教室组名：应为 1 到 32 个字母、数字、“-”或“_”</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no schedule key: write NAME\at, NAME\days, NAME\rooms, NAME\commands or NAME\skip, where NAME is 1 to 32 letters, digits, &quot;-&quot; or &quot;_&quot;</source>
        <translation>“%1”不是定时任务的键：请写成 名称\at、名称\days、名称\rooms、名称\commands 或 名称\skip，名称为 1 到 32 个字母、数字、“-”或“_”</translation>
    </message>
    <message>
        <source>keep= takes days, from 1d to 36500d (365d)</source>
        <translation>keep= 取天数，从 1d 到 36500d（365d）</translation>
    </message>
    <message>
        <source>group %1 names room &quot;%2&quot;, which is not in [rooms]</source>
        <translation>教室组 %1 中的教室“%2”不在 [rooms] 中</translation>
    </message>
    <message>
        <source>schedule %1: %2</source>
        <translation>定时任务 %1：%2</translation>
    </message>
    <message>
        <source>database= takes an SQLite file&apos;s path, postgresql://USER@HOST:PORT/DATABASE, or off</source>
        <translation>database= 取 SQLite 文件的路径、postgresql://用户@主机:端口/数据库，或 off</translation>
    </message>
    <message>
        <source>database= holds a password: give it in the service&apos;s ~/.pgpass or PGPASSFILE instead</source>
        <translation>database= 中含有密码：请改放在服务的 ~/.pgpass 或 PGPASSFILE 中</translation>
    </message>
    <message>
        <source>unknown section [%1] (known: [web], [service], [rooms], [users], [tokens], [mqtt], [groups], [schedule], [history], [projectors], [alerts])</source>
        <translation>未知的节 [%1]（可用：[web]、[service]、[rooms]、[users]、[tokens]、[mqtt]、[groups]、[schedule]、[history]、[projectors]、[alerts]）</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no room key: write ROOM\name, ROOM\device or ROOM\projector, where ROOM is 1 to 32 letters, digits, &quot;-&quot; or &quot;_&quot;</source>
        <translation>“%1”不是教室键：请写成 教室\name、教室\device 或 教室\projector，教室为 1 到 32 个字母、数字、“-”或“_”</translation>
    </message>
    <message>
        <source>unknown key &quot;%1&quot; for room %2 (known: name, device, projector)</source>
        <translation>教室 %2 的未知键“%1”（可用：name、device、projector）</translation>
    </message>
    <message>
        <source>rooms %1 and %2 name the same projector %3</source>
        <translation>教室 %1 和 %2 使用同一台投影机 %3</translation>
    </message>
    <message>
        <source>name= takes 1 to 64 letters, digits, &quot;.&quot;, &quot;-&quot; or &quot;_&quot; (not &quot;all&quot;)</source>
        <translation>name= 须为 1 到 64 个字母、数字、“.”、“-”或“_”（不能是“all”）</translation>
    </message>
    <message>
        <source>journal= takes an SQLite file&apos;s path</source>
        <translation>journal= 须为 SQLite 文件的路径</translation>
    </message>
    <message>
        <source>unknown key &quot;%1&quot; in [history] (known: database, keep, name, journal)</source>
        <translation>[history] 中有未知的键“%1”（可用：database、keep、name、journal）</translation>
    </message>
</context>
<context>
    <name>ServerSend</name>
    <message>
        <source>the server&apos;s address</source>
        <translation>服务器地址</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no server address: give http://HOST:PORT or https://HOST:PORT</source>
        <translation>“%1”不是服务器地址：请给出 http://主机:端口 或 https://主机:端口</translation>
    </message>
    <message>
        <source>--server needs --room ID (a room&apos;s ID, or all)</source>
        <translation>--server 需要 --room ID（教室的 ID，或 all）</translation>
    </message>
    <message>
        <source>cannot read the token file %1: %2</source>
        <translation>无法读取令牌文件 %1：%2</translation>
    </message>
    <message>
        <source>no token: set LUMO_TOKEN or give --token-file FILE</source>
        <translation>没有令牌：请设置 LUMO_TOKEN 或给出 --token-file 文件</translation>
    </message>
    <message>
        <source>the token file %1 holds no token</source>
        <translation>令牌文件 %1 中没有令牌</translation>
    </message>
    <message>
        <source>the token is no token: 1 to %1 printable characters without spaces</source>
        <translation>令牌无效：令牌应为 1 到 %1 个不含空格的可打印字符</translation>
    </message>
    <message>
        <source>no certificate could be read from %1 (--ca takes PEM files)</source>
        <translation>无法从 %1 读取证书（--ca 接受 PEM 文件）</translation>
    </message>
    <message>
        <source>the server %1 did not answer within %2 s</source>
        <translation>服务器 %1 在 %2 秒内没有应答</translation>
    </message>
    <message>
        <source>the server %1 cannot be reached: %2</source>
        <translation>无法连接服务器 %1：%2</translation>
    </message>
    <message>
        <source>the server %1 refused the token: check LUMO_TOKEN or --token-file</source>
        <translation>服务器 %1 拒绝了令牌：请检查 LUMO_TOKEN 或 --token-file</translation>
    </message>
    <message>
        <source>the server %1 knows no room &quot;%2&quot; (%3)</source>
        <translation>服务器 %1 没有教室“%2”（%3）</translation>
    </message>
    <message>
        <source>room %1: %2</source>
        <translation>教室 %1：%2</translation>
    </message>
    <message>
        <source>the server %1 answered HTTP %2: %3</source>
        <translation>服务器 %1 应答 HTTP %2：%3</translation>
    </message>
    <message>
        <source>the server %1 did not say that room %2 took the command</source>
        <translation>服务器 %1 没有表明教室 %2 已接受该命令</translation>
    </message>
    <message>
        <source>the server %1 gave no room&apos;s outcome</source>
        <translation>服务器 %1 没有给出各教室的结果</translation>
    </message>
    <message numerus="yes">
        <source>%n of %1 rooms did not take %2:</source>
        <translation>
            <numerusform>%1 个教室中有 %n 个未接受 %2：</numerusform>
        </translation>
    </message>
    <message>
        <source>the server %1 refuses this computer for now: %2</source>
        <translation>服务器 %1 暂时拒绝这台计算机：%2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no room: a room&apos;s ID is 1 to 32 letters, digits, - and _, @ and a group&apos;s name, or all</source>
        <translation>“%1”不是教室：教室的 ID 为 1 到 32 个字母、数字、- 和 _，或 @ 加教室组名，或 all</translation>
    </message>
    <message>
        <source>room %1 took %2, but the server %3 could not record it in its history</source>
        <translation>教室 %1 已执行 %2，但服务器 %3 未能将其写入历史记录</translation>
    </message>
    <message>
        <source>%1 of the rooms that took %2 could not be recorded in the history of the server %3</source>
        <translation>已执行 %2 的教室中有 %1 间未能写入服务器 %3 的历史记录</translation>
    </message>
</context>
<context>
    <name>TtyDevice</name>
    <message>
        <source>not a serial line (it makes a new pseudo-terminal at every open)</source>
        <translation>不是串口线路（每次打开都会新建一个伪终端）</translation>
    </message>
    <message>
        <source>permission denied (join the group &quot;%1&quot; and log in again)</source>
        <translation>权限不足（请加入用户组“%1”后重新登录）</translation>
    </message>
    <message>
        <source>the device&apos;s path is too long: its lock file name would have %1 bytes, the system allows %2</source>
        <translation>设备路径过长：其锁文件名将有 %1 字节，系统只允许 %2 字节</translation>
    </message>
    <message>
        <source>the lock file %1 was left by a program that has ended, and this user cannot remove it; remove it as its owner or as an administrator</source>
        <translation>锁文件 %1 是已结束的程序遗留的，当前用户无法删除；请由其所有者或管理员删除</translation>
    </message>
    <message>
        <source>cannot be opened as a serial line (%1)</source>
        <translation>无法作为串口线路打开（%1）</translation>
    </message>
    <message>
        <source>the device cannot use 1.5 stop bits</source>
        <translation>设备不能使用 1.5 个停止位</translation>
    </message>
    <message>
        <source>these stop bits</source>
        <translation>这些停止位</translation>
    </message>
    <message>
        <source>parity &quot;%1&quot; with %2 data bits</source>
        <translation>校验方式“%1”配合 %2 个数据位</translation>
    </message>
    <message>
        <source>the driver does not keep it</source>
        <translation>驱动程序不保留该设置</translation>
    </message>
    <message>
        <source>the device cannot use %1 (%2)</source>
        <translation>设备不能使用%1（%2）</translation>
    </message>
    <message>
        <source>cannot write (%1); %2 of the %3 bytes went out</source>
        <translation>无法写入（%1）；%3 个字节中已发出 %2 个</translation>
    </message>
    <message>
        <source>the device does not take the data; %1 of the %2 bytes went out, the rest was dropped</source>
        <translation>设备不接收数据；%2 个字节中已发出 %1 个，其余已丢弃</translation>
    </message>
    <message>
        <source>cannot write</source>
        <translation>无法写入</translation>
    </message>
    <message>
        <source>the device does not take the data</source>
        <translation>设备不接收数据</translation>
    </message>
    <message>
        <source>the device does not answer: opening it took longer than %1 s</source>
        <translation>设备没有响应：打开它超过了 %1 秒</translation>
    </message>
    <message>
        <source>the device did not send what was written within %1 s; it may not have gone out</source>
        <translation>设备在 %1 秒内没有发出所写的内容；它可能没有发出</translation>
    </message>
</context>
<context>
    <name>WebServer</name>
    <message>
        <source>Not found.</source>
        <translation>未找到。</translation>
    </message>
    <message>
        <source>The headers are too long.</source>
        <translation>请求头过长。</translation>
    </message>
    <message>
        <source>The request is too large.</source>
        <translation>请求过大。</translation>
    </message>
    <message>
        <source>This server does not answer for that name.</source>
        <translation>本服务器不响应该名称。</translation>
    </message>
    <message>
        <source>Requests from other sites are not taken.</source>
        <translation>不接受来自其他网站的请求。</translation>
    </message>
    <message>
        <source>Too many failed attempts. Try again in a minute.</source>
        <translation>失败的尝试过多，请一分钟后再试。</translation>
    </message>
    <message>
        <source>This method is not served here.</source>
        <translation>这里不提供此请求方法。</translation>
    </message>
    <message>
        <source>The service is stopping.</source>
        <translation>服务正在停止。</translation>
    </message>
    <message>
        <source>The request&apos;s length is given twice or in two ways.</source>
        <translation>请求的长度被给出两次或以两种方式给出。</translation>
    </message>
    <message>
        <source>Too many requests under way on this connection.</source>
        <translation>此连接上进行中的请求过多。</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>the campus service (lumo-serve) is not installed with this program</source>
        <translation>此程序未附带安装校园服务（lumo-serve）</translation>
    </message>
</context>
</TS>
