<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="qtn_comm_cancel">
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message id="qtn_comm_command_continue">
        <source>Continue</source>
        <translation>Continue</translation>
    </message>
    <message id="qtn_comm_command_delete">
        <source>Delete</source>
        <translation>Delete</translation>
    </message>
    <message id="qtn_conn_bluetooth">
        <source>Bluetooth</source>
        <translation>Bluetooth</translation>
    </message>
    <message id="qtn_conn_bluetooth_devices">
        <source>Bluetooth devices</source>
        <translation>Bluetooth devices</translation>
    </message>
    <message id="qtn_conn_bt_a2dp">
        <source>Stereo audio</source>
        <translation>Stereo audio</translation>
    </message>
    <message id="qtn_conn_bt_at_least_one_char">
        <source>Enter at least one character</source>
        <translation>Enter at least one character</translation>
    </message>
    <message id="qtn_conn_bt_authorization">
        <source>Allow automatic connections</source>
        <translation>Allow automatic connections</translation>
    </message>
    <message id="qtn_conn_bt_block">
        <source>Block</source>
        <translation>Block</translation>
    </message>
    <message id="qtn_conn_bt_blocked_devices">
        <source>Blocked devices</source>
        <translation>Blocked devices</translation>
    </message>
    <message id="qtn_conn_bt_bluetooth_address">
        <source>Bluetooth address</source>
        <translation>Bluetooth address</translation>
    </message>
    <message id="qtn_conn_bt_bpap">
        <source>Phone book access</source>
        <translation>Phone book access</translation>
    </message>
    <message id="qtn_conn_bt_confirm">
        <source>Confirm</source>
        <translation>Confirm</translation>
    </message>
    <message id="qtn_conn_bt_connect">
        <source>Connect</source>
        <translation>Connect</translation>
    </message>
    <message id="qtn_conn_bt_connection_failed">
        <source>Could not connect to %1</source>
        <translation>Could not connect to %1</translation>
    </message>
    <message id="qtn_conn_bt_connection_request">
        <source>Connection request</source>
        <translation>Connection request</translation>
    </message>
    <message id="qtn_conn_bt_connection_request_i">
        <source>%1 wants to connect to this device. Allow it?</source>
        <translation>%1 wants to connect to this device. Allow it?</translation>
    </message>
    <message id="qtn_conn_bt_device_name">
        <source>Device name</source>
        <translation>Device name</translation>
    </message>
    <message id="qtn_conn_bt_device_name_too_long">
        <source>The name is too long</source>
        <translation>The name is too long</translation>
    </message>
    <message id="qtn_conn_bt_devices_in_range">
        <source>Devices in range</source>
        <translation>Devices in range</translation>
    </message>
    <message id="qtn_conn_bt_disconnect">
        <source>Disconnect</source>
        <translation>Disconnect</translation>
    </message>
    <message id="qtn_conn_bt_discoverable">
        <source>Visible to other devices</source>
        <translation>Visible to other devices</translation>
    </message>
    <message id="qtn_conn_bt_discoverable_hint">
        <source>New devices can pair with this device or send files to it only while it is visible.</source>
        <translation>New devices can pair with this device or send files to it only while it is visible.</translation>
    </message>
    <message id="qtn_conn_bt_dun">
        <source>Dial-up networking</source>
        <translation>Dial-up networking</translation>
    </message>
    <message id="qtn_conn_bt_empty_device_name">
        <source>Enter a device name</source>
        <translation>Enter a device name</translation>
    </message>
    <message id="qtn_conn_bt_ftp">
        <source>File transfer</source>
        <translation>File transfer</translation>
    </message>
    <message id="qtn_conn_bt_hfp">
        <source>Hands-free</source>
        <translation>Hands-free</translation>
    </message>
    <message id="qtn_conn_bt_hsp">
        <source>Headset</source>
        <translation>Headset</translation>
    </message>
    <message id="qtn_conn_bt_is_off">
        <source>Bluetooth is off</source>
        <translation>Bluetooth is off</translation>
    </message>
    <message id="qtn_conn_bt_my_device">
        <source>My device</source>
        <translation>My device</translation>
    </message>
    <message id="qtn_conn_bt_name_info">
        <source>Name of this device</source>
        <translation>Name of this device</translation>
    </message>
    <message id="qtn_conn_bt_not_saved">
        <source>Could not save the changes</source>
        <translation>Could not save the changes</translation>
    </message>
    <message id="qtn_conn_bt_opp">
        <source>Object push</source>
        <translation>Object push</translation>
    </message>
    <message id="qtn_conn_bt_other_devices">
        <source>Other devices</source>
        <translation>Other devices</translation>
    </message>
    <message id="qtn_conn_bt_pair">
        <source>Pair</source>
        <translation>Pair</translation>
    </message>
    <message id="qtn_conn_bt_pair_fail_auth_failed">
        <source>Pairing failed: the passcodes did not match</source>
        <translation>Pairing failed: the passcodes did not match</translation>
    </message>
    <message id="qtn_conn_bt_pair_fail_auth_rejected">
        <source>Pairing was rejected by the other device</source>
        <translation>Pairing was rejected by the other device</translation>
    </message>
    <message id="qtn_conn_bt_pair_fail_timeout">
        <source>Pairing failed: the other device did not answer in time</source>
        <translation>Pairing failed: the other device did not answer in time</translation>
    </message>
    <message id="qtn_conn_bt_pair_fail_too_little_time">
        <source>Pairing failed: too many attempts. Wait a moment and try again</source>
        <translation>Pairing failed: too many attempts. Wait a moment and try again</translation>
    </message>
    <message id="qtn_conn_bt_pair_with">
        <source>Pair with %1</source>
        <translation>Pair with %1</translation>
    </message>
    <message id="qtn_conn_bt_paired_devices">
        <source>Paired devices</source>
        <translation>Paired devices</translation>
    </message>
    <message id="qtn_conn_bt_pairing_failed">
        <source>Pairing failed</source>
        <translation>Pairing failed</translation>
    </message>
    <message id="qtn_conn_bt_pairing_ongoing">
        <source>Pairing in progress</source>
        <translation>Pairing in progress</translation>
    </message>
    <message id="qtn_conn_bt_passcode">
        <source>Passcode</source>
        <translation>Passcode</translation>
    </message>
    <message id="qtn_conn_bt_passcode_info">
        <source>Check that the other device shows this passcode</source>
        <translation>Check that the other device shows this passcode</translation>
    </message>
    <message id="qtn_conn_bt_passkey_display_info">
        <source>Type this passcode on %1 and press Enter</source>
        <translation>Type this passcode on %1 and press Enter</translation>
    </message>
    <message id="qtn_conn_bt_passkey_entered">
        <source>%1 of 6 digits typed</source>
        <translation>%1 of 6 digits typed</translation>
    </message>
    <message id="qtn_conn_bt_profiles">
        <source>Profiles</source>
        <translation>Profiles</translation>
    </message>
    <message id="qtn_conn_bt_radio_blocked">
        <source>Bluetooth is blocked by the radio switch. Unblock it to switch Bluetooth on.</source>
        <translation>Bluetooth is blocked by the radio switch. Unblock it to switch Bluetooth on.</translation>
    </message>
    <message id="qtn_conn_bt_receive_file">
        <source>Receive file?</source>
        <translation>Receive file?</translation>
    </message>
    <message id="qtn_conn_bt_receive_info1">
        <source>%1 wants to send you %2. Accept it?</source>
        <translation>%1 wants to send you %2. Accept it?</translation>
    </message>
    <message id="qtn_conn_bt_remove_block_i">
        <source>%1 is blocked. Unblock it?</source>
        <translation>%1 is blocked. Unblock it?</translation>
    </message>
    <message id="qtn_conn_bt_remove_block_q">
        <source>Unblock device?</source>
        <translation>Unblock device?</translation>
    </message>
    <message id="qtn_conn_bt_remove_pairing">
        <source>Remove pairing</source>
        <translation>Remove pairing</translation>
    </message>
    <message id="qtn_conn_bt_remove_pairing_failed">
        <source>Could not remove the pairing with %1</source>
        <translation>Could not remove the pairing with %1</translation>
    </message>
    <message id="qtn_conn_bt_sap">
        <source>SIM access</source>
        <translation>SIM access</translation>
    </message>
    <message id="qtn_conn_bt_select_device">
        <source>Select device</source>
        <translation>Select device</translation>
    </message>
    <message id="qtn_conn_bt_send_another">
        <source>Please wait…</source>
        <translation>Please wait…</translation>
    </message>
    <message id="qtn_conn_bt_set_trusted">
        <source>Set as trusted</source>
        <translation>Set as trusted</translation>
    </message>
    <message id="qtn_conn_bt_set_untrusted">
        <source>Remove trust</source>
        <translation>Remove trust</translation>
    </message>
    <message id="qtn_conn_bt_show_in_sm">
        <source>Show in status menu</source>
        <translation>Show in status menu</translation>
    </message>
    <message id="qtn_conn_bt_spp">
        <source>Serial port</source>
        <translation>Serial port</translation>
    </message>
    <message id="qtn_conn_bt_t_canceled">
        <source>%1 declined the file.</source>
        <translation>%1 declined the file.</translation>
    </message>
    <message id="qtn_conn_bt_t_connection_failed">
        <source>The connection to %1 failed.</source>
        <translation>The connection to %1 failed.</translation>
    </message>
    <message id="qtn_conn_bt_t_error">
        <source>Sending failed</source>
        <translation>Sending failed</translation>
    </message>
    <message id="qtn_conn_bt_t_receive">
        <source>Receiving via Bluetooth</source>
        <translation>Receiving via Bluetooth</translation>
    </message>
    <message id="qtn_conn_bt_t_send">
        <source>Sending via Bluetooth</source>
        <translation>Sending via Bluetooth</translation>
    </message>
    <message id="qtn_conn_bt_t_send_cant">
        <source>The file could not be sent.</source>
        <translation>The file could not be sent.</translation>
    </message>
    <message id="qtn_conn_bt_t_waiting_response">
        <source>Waiting for %1 to respond</source>
        <translation>Waiting for %1 to respond</translation>
    </message>
    <message id="qtn_conn_bt_unnamed_device">
        <source>Unnamed device</source>
        <translation>Unnamed device</translation>
    </message>
    <message id="qtn_conn_no_devices_found">
        <source>No devices found</source>
        <translation>No devices found</translation>
    </message>
    <message id="qtn_nfc_receive_unknown_tit">
        <source>Unsupported file</source>
        <translation>Unsupported file</translation>
    </message>
    <message id="qtn_nfc_receive_unknown_txt">
        <source>%1 cannot be opened on this device.</source>
        <translation>%1 cannot be opened on this device.</translation>
    </message>
    <message id="qtn_nfc_tuidialog_dl_tit">
        <source>Receiving with NFC</source>
        <translation>Receiving with NFC</translation>
    </message>
    <message id="qtn_nfc_tuidialog_dlrdy_tit">
        <source>Received with NFC</source>
        <translation>Received with NFC</translation>
    </message>
    <message id="qtn_nfc_tuidialog_nok_tit">
        <source>NFC transfer failed</source>
        <translation>NFC transfer failed</translation>
    </message>
    <message id="qtn_nfc_tuidialog_up_tit">
        <source>Sending with NFC</source>
        <translation>Sending with NFC</translation>
    </message>
    <message id="qtn_nfc_tuidialog_uprdy_tit">
        <source>Sent with NFC</source>
        <translation>Sent with NFC</translation>
    </message>
    <message id="qtn_offl_blueactive">
        <source>Offline mode is on. Switch Bluetooth on anyway?</source>
        <translation>Offline mode is on. Switch Bluetooth on anyway?</translation>
    </message>
    <message id="qtn_offl_blueactive_title">
        <source>Offline mode</source>
        <translation>Offline mode</translation>
    </message>
</context>
</TS>
