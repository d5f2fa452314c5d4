<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
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
</context>
</TS>
