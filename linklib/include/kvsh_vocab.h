/*
 * The controller's vocabulary: the names of its own components and attributes, and the codes
 * that callers pass to or receive from KVSH_User, in one place for the library, its hosts and
 * the simulated controller.
 *
 * Names are UTF-8 string literals; the wire carries GBK, so a host converts them before it
 * passes them to the functions of kvsh_user.h (KVSH_User itself takes GBK). Usable from C and
 * C++; being literals, they concatenate (KVS_COMPONENT_MANAGER "." KVS_ATTR_RUN_STATE).
 */
#ifndef KVSH_VOCAB_H
#define KVSH_VOCAB_H

/* ---------------------------------------------------------------------------------------------
 * The component manager: the device itself, also the root of the component tree
 * ------------------------------------------------------------------------------------------- */

#define KVS_COMPONENT_MANAGER "组件管理器"

/* "true" / "false": the switch network and work loop run; writing starts or stops them. */
#define KVS_ATTR_RUN_STATE "运行状态"
/* Writing "true" restarts the device. */
#define KVS_ATTR_RESTART "重新启动"
/* The monitor table: entries "component.attribute@change;" or "...@value;". */
#define KVS_ATTR_MONITOR_TABLE "属性监控表"

/* Flash: geometry text "P=%x,C=%x,B=%x,N=%x,", the byte address of the next command, the
 * page data, and the three commands (write "true"). */
#define KVS_ATTR_FLASH_GEOMETRY "Flash描述信息"
#define KVS_ATTR_FLASH_ADDRESS "Flash操作地址"
#define KVS_ATTR_FLASH_DATA "Flash操作数据"
#define KVS_ATTR_FLASH_READ "Flash执行读取"
#define KVS_ATTR_FLASH_ERASE "Flash执行擦除"
#define KVS_ATTR_FLASH_WRITE "Flash执行写入"

/* Sampling ("true"/"false" texts unless noted). */
#define KVS_ATTR_SAMPLING_START "启动采样"           /* the device sets it back when done */
#define KVS_ATTR_SAMPLING_TRIGGER "启用采样触发"     /* trigger enabled */
#define KVS_ATTR_SAMPLING_RISING "上升_下降沿触发"   /* "true" rising, "false" falling edge */
#define KVS_ATTR_SAMPLING_PERIOD_US "采样时间_us"    /* decimal number, written "%0.2f" */
#define KVS_ATTR_SAMPLING_POINTS "采样点列表"        /* "component.attribute;" per channel */
#define KVS_ATTR_SAMPLING_TRIGGER_PIN "触发管脚号"   /* index into the point list */
#define KVS_ATTR_SAMPLING_DATA "记录数据"            /* byte count; memory data: the record */
#define KVS_ATTR_SAMPLING_TRIGGER_POS "触发起始位置" /* sample index of the trigger */

/* ---------------------------------------------------------------------------------------------
 * Slot links and the attributes every component keeps for the diagram
 * ------------------------------------------------------------------------------------------- */

/* The type of link components, and the component whose KVS_ATTR_CREATED lists them. */
#define KVS_LINK_TYPE "槽位连接线"
#define KVS_ATTR_LINK_SEND "发送槽位"    /* the send slot's full name */
#define KVS_ATTR_LINK_RECEIVE "接收槽位" /* the receive slot's full name */
/* Of every type: its instances' full names, each followed by ";". */
#define KVS_ATTR_CREATED "创建的组件"
/* Of every component: the diagram's shape text, and the user's comment. */
#define KVS_ATTR_AREA "区域位置"
#define KVS_ATTR_COMMENT "用户注释"

/* ---------------------------------------------------------------------------------------------
 * Codes
 * ------------------------------------------------------------------------------------------- */

/* The operation byte of KVS_ConfigFile_Operate. */
enum KVS_CONFIG_OPERATION {
    KVS_CONFIG_SAVE_TO_FLASH = 1, /* save the running configuration into flash slot *slot */
    KVS_CONFIG_CLEAR = 3,         /* clear the running configuration */
    KVS_CONFIG_READ_SETTINGS = 4, /* read the startup parameters into *record */
    KVS_CONFIG_WRITE_SETTINGS = 5 /* write the startup parameters from *record */
};

/* Command codes of the messages the device sends without being asked (the receive callback's
 * msg[6]); kvsh_unsolicited.h decodes them. */
enum KVS_UNSOLICITED {
    KVS_UNSOLICITED_MONITOR_EVENT = 20, /* a monitored attribute changed: name, value */
    KVS_UNSOLICITED_INFO_LINES = 100    /* firmware information: level byte and text each */
};

/* The status byte with which the key command accepts the key (every other command: 0). */
#define KVS_STATUS_KEY_ACCEPTED 1

/* The parity names of a serial initialisation text ("PORT:baud-data-stop-parity"); any other
 * name means none. */
#define KVS_PARITY_ODD "奇校验"
#define KVS_PARITY_EVEN "偶校验"

/* How a host reaches the controller (the connection dialog's choice). */
enum KVS_CONNECTION_WAY {
    KVS_WAY_SERIAL = 0, /* KVS_Initial_UART */
    KVS_WAY_USB = 1,    /* KVS_Initial_USB */
    KVS_WAY_UDP = 2     /* KVS_Initial_UDP */
};

#endif /* KVSH_VOCAB_H */
