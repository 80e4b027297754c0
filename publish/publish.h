// What the publish library offers, in one place:
//  - BrokerAddress: an mqtt:// or mqtts:// address with its user, host, port
//    and topic prefix (broker_address.h);
//  - SnapshotChanges: which run snapshots carry a new sample or a new run
//    state (snapshot_changes.h);
//  - the texts: a reading as a JSON object or an InfluxDB line-protocol point,
//    the run state as a JSON object (run_messages.h);
//  - MqttPublisher: readings and run state to a broker, in the background,
//    never holding the run up (mqtt_publisher.h).
// It reads the run's snapshots only and depends on nothing else of ours.
#pragma once

#include "publish/broker_address.h"
#include "publish/mqtt_publisher.h"
#include "publish/run_messages.h"
#include "publish/snapshot_changes.h"
