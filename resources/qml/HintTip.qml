import QtQuick
import QtQuick.Controls.Basic

// A hint over the item it fills, shown after `delay` ms while `text` is not empty. Loaded
// only while the pointer is over its item (see BitmapButton), so the controls module is not
// needed for the window's first frame.
Item {
    id: tip

    property string text
    property int delay: 600

    ToolTip {
        objectName: "hintTip"
        visible: tip.text.length > 0
        text: tip.text
        delay: tip.delay
    }
}
